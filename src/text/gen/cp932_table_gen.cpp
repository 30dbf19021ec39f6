// Build step: writes the CP932 <-> Unicode tables of the platform's iconv as C++ arrays, so that
// velm.exe (linked statically, where iconv would load a conversion module and a second C library
// at run time) converts exactly as iconv does without loading anything.
//   cp932_table_gen OUT.inc
#include <iconv.h>

#include <cstdio>
#include <string>

namespace {

// The result of converting one whole sequence, or false when iconv refuses it.
bool Convert(iconv_t cd, const std::string& in, std::string& out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char buf[16];
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size(), dstLeft = sizeof buf;
  char* dst = buf;
  if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) return false;
  out.assign(buf, sizeof buf - dstLeft);
  return true;
}

std::string Utf8Of(unsigned cp) {
  std::string s;
  if (cp < 0x80) s += static_cast<char>(cp);
  else if (cp < 0x800) s += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
  else
    s += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
          static_cast<char>(0x80 | (cp & 0x3F))};
  return s;
}

unsigned CodePointOf(const std::string& u) {  // of one UTF-8 character
  const unsigned char c = static_cast<unsigned char>(u[0]);
  if (c < 0x80) return c;
  if (c < 0xE0) return ((c & 0x1F) << 6) | (u[1] & 0x3F);
  if (c < 0xF0) return ((c & 0x0F) << 12) | ((u[1] & 0x3F) << 6) | (u[2] & 0x3F);
  return 0xFFFFFFFF;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  iconv_t toUtf8 = iconv_open("UTF-8", "CP932"), toSjis = iconv_open("CP932", "UTF-8");
  if (toUtf8 == reinterpret_cast<iconv_t>(-1) || toSjis == reinterpret_cast<iconv_t>(-1)) return 1;
  FILE* f = fopen(argv[1], "w");
  if (!f) return 1;
  fprintf(f, "// Generated from the platform's iconv (CP932) by cp932_table_gen: do not edit.\n");
  // Bytes alone: the code point, or 0xFFFF when the byte is no character by itself.
  fprintf(f, "const unsigned short kCp932Single[256] = {");
  for (unsigned b = 0; b < 256; ++b) {
    std::string out;
    const unsigned cp = Convert(toUtf8, std::string(1, static_cast<char>(b)), out) ? CodePointOf(out) : 0xFFFF;
    fprintf(f, "%s0x%X", b == 0 ? "\n" : b % 16 ? "," : ",\n", cp > 0xFFFF ? 0xFFFF : cp);
  }
  fprintf(f, "};\n");
  // Pairs from a byte of 0x80-0xFF: index (first - 0x80) * 256 + second; 0 when unmapped.
  fprintf(f, "const unsigned short kCp932Pair[128 * 256] = {");
  for (unsigned i = 0; i < 128 * 256; ++i) {
    const char pair[2] = {static_cast<char>(0x80 + i / 256), static_cast<char>(i % 256)};
    std::string out, single;
    unsigned cp = 0;
    // Only a pair iconv takes as one character counts (a lone byte it takes is no pair).
    if (!Convert(toUtf8, std::string(1, pair[0]), single) && Convert(toUtf8, std::string(pair, 2), out) &&
        out.size() >= 2)
      cp = CodePointOf(out);
    fprintf(f, "%s0x%X", i == 0 ? "\n" : i % 16 ? "," : ",\n", cp > 0xFFFF ? 0 : cp);
  }
  fprintf(f, "};\n");
  // Code points to bytes: one byte (below 0x100), a pair (first << 8 | second), or 0 when
  // CP932 has no such character.
  fprintf(f, "const unsigned short kUnicodeToCp932[65536] = {");
  for (unsigned cp = 0; cp < 65536; ++cp) {
    std::string out;
    unsigned v = 0;
    if ((cp < 0xD800 || cp > 0xDFFF) && Convert(toSjis, Utf8Of(cp), out)) {
      if (out.size() == 1) v = static_cast<unsigned char>(out[0]);
      else if (out.size() == 2) v = (static_cast<unsigned char>(out[0]) << 8) | static_cast<unsigned char>(out[1]);
    }
    fprintf(f, "%s0x%X", cp == 0 ? "\n" : cp % 16 ? "," : ",\n", v);
  }
  fprintf(f, "};\n");
  iconv_close(toUtf8);
  iconv_close(toSjis);
  return fclose(f) == 0 ? 0 : 1;
}
