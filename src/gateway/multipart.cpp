// multipart/form-data: a byte scan of the raw body for one field or one file part.
#include "gateway/multipart.h"

#include "store/file_access.h"
#include "text/DString.h"

namespace {

const std::string kDisposition = "Content-Disposition: form-data; name=\"";
const std::string kFileName = "filename=\"";
const std::string kContentType = "Content-Type: ";

std::string Upper(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

size_t LineEnd(const std::string& s, size_t from) {
  size_t e = s.find_first_of("\r\n", from);
  return e == std::string::npos ? s.size() : e;
}

}  // namespace

std::string ReadMultipartField(const std::string& body, const std::string& name,
                               const std::string& contentType, bool keepLineBreaks) {
  if (body.empty()) return "";
  size_t b = Upper(contentType).find("BOUNDARY=");
  if (b == std::string::npos) return "";
  const std::string boundary = contentType.substr(b + 9);
  if (boundary.empty()) return "";
  const std::string delimiter = "--" + boundary;
  const std::string wanted = Upper(name);

  std::string value;
  size_t pos = 0;
  while (pos < body.size()) {
    size_t d = body.find(delimiter, pos);
    if (d == std::string::npos) break;
    size_t h = body.find(kDisposition, d + delimiter.size());
    if (h == std::string::npos) break;
    size_t nameStart = h + kDisposition.size();
    size_t quote = body.find('"', nameStart);
    if (quote == std::string::npos) break;
    pos = quote + 1;
    if (Upper(body.substr(nameStart, quote - nameStart)) != wanted) continue;

    // The value runs to the next delimiter; a part that is never closed holds no value.
    size_t end = body.find(delimiter, pos);
    if (end == std::string::npos) {
      value.clear();
      break;
    }
    size_t first = body.find_first_not_of("\r\n", pos);
    value.clear();
    if (first != std::string::npos && first < end) {
      if (keepLineBreaks) {
        value.assign(body, first, end - first);
      } else {
        for (size_t i = first; i < end; ++i)
          if (body[i] != '\r' && body[i] != '\n') value += body[i];
      }
    }
    pos = end;  // a later part of the same name wins
  }
  return value;
}

TUploadFileinfo LocateMultipartFile(const std::string& body, const std::string& name) {
  TUploadFileinfo none;
  // The delimiter is the first line that begins with "--".
  size_t lineStart = 0;
  while (lineStart < body.size() && body.compare(lineStart, 2, "--") != 0) {
    size_t lf = body.find('\n', lineStart);
    if (lf == std::string::npos) return none;
    lineStart = lf + 1;
  }
  if (lineStart >= body.size()) return none;
  const std::string delimiter = body.substr(lineStart, LineEnd(body, lineStart) - lineStart);
  const std::string closing = "\r\n" + delimiter;
  const std::string wanted = Upper(name);

  size_t pos = lineStart;
  while (pos < body.size()) {
    size_t d = body.find(delimiter, pos);
    if (d == std::string::npos) break;
    size_t h = body.find(kDisposition, d + delimiter.size());
    if (h == std::string::npos) break;
    size_t nameStart = h + kDisposition.size();
    size_t quote = body.find('"', nameStart);
    if (quote == std::string::npos) break;
    pos = quote + 1;
    if (Upper(body.substr(nameStart, quote - nameStart)) != wanted) continue;

    TUploadFileinfo info;
    info.FieldName = body.substr(nameStart, quote - nameStart);
    size_t lineEnd = LineEnd(body, pos);
    size_t f = body.find(kFileName, pos);
    if (f != std::string::npos && f < lineEnd) {
      size_t fs = f + kFileName.size();
      size_t fq = body.find('"', fs);
      if (fq != std::string::npos && fq <= lineEnd) info.FileName = body.substr(fs, fq - fs);
    }

    // The part's other header lines, up to the empty line that closes them.
    size_t typeLineEnd = std::string::npos;
    size_t line = body.find('\n', lineEnd);
    while (line != std::string::npos) {
      size_t ls = line + 1;
      if (ls >= body.size()) break;
      size_t le = LineEnd(body, ls);
      if (le == ls) break;                                        // empty line: headers end
      if (body.compare(ls, delimiter.size(), delimiter) == 0) break;  // next part
      if (body.compare(ls, kContentType.size(), kContentType) == 0) {
        info.ContentType = body.substr(ls + kContentType.size(), le - ls - kContentType.size());
        typeLineEnd = le;
        break;
      }
      line = body.find('\n', le);
    }
    if (typeLineEnd == std::string::npos) continue;  // not a file part
    size_t lf = body.find('\n', typeLineEnd);
    if (lf == std::string::npos) return none;
    size_t dataStart = lf + 3;  // past the CR LF of the empty line
    if (dataStart > body.size()) return none;
    size_t dataEnd = body.find(closing, dataStart);
    if (dataEnd == std::string::npos) return none;  // never closed: the upload is incomplete
    info.DataStart = static_cast<long long>(dataStart) + 1;
    info.DataSize = static_cast<long long>(dataEnd - dataStart);
    return info;
  }
  return none;
}

std::string UploadFileBaseName(const std::string& fileName) {
  // Cut after the last separator; a "\" that is the second byte of a Shift_JIS
  // character is part of the name.
  size_t start = 0;
  for (size_t i = 0; i < fileName.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(fileName[i]);
    unsigned char next = i + 1 < fileName.size() ? static_cast<unsigned char>(fileName[i + 1]) : 0;
    if (IsSjisLead(c) && ((next >= 0x40 && next <= 0x7E) || (next >= 0x80 && next <= 0xFC))) {
      ++i;
      continue;
    }
    if (c == '\\' || c == ':' || c == '/') start = i + 1;
  }
  std::string base = fileName.substr(start);
  if (base.empty() || base[0] == '.' || base.find('\0') != std::string::npos) return "";
  return base;
}

std::string MultipartData(const std::string& body, long long dataStart, long long dataSize) {
  if (dataStart < 1 || dataSize <= 0) return "";
  unsigned long long from = static_cast<unsigned long long>(dataStart - 1);
  if (from >= body.size()) return "";
  return body.substr(static_cast<size_t>(from), static_cast<size_t>(dataSize));
}

bool StoreMultipartFile(const std::string& body, const std::string& folder, const std::string& fileName,
                        long long dataSize, long long dataStart) {
  const std::string base = UploadFileBaseName(fileName);
  if (base.empty()) return false;
  const std::string dir = folder.empty() ? ExeFolder() : IncludeTrailingSlash(folder);
  return SaveStreamToFile(dir + base, MultipartData(body, dataStart, dataSize));
}
