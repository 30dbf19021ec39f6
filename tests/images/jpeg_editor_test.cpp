// The editor without its pages: BMP files, the edit fields, the chain of edits, and the upload
// check's fuzz target.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "images/NewEfectImage.h"
#include "images/jpeg_editor.h"
#include "test_pictures.h"
// The fuzz target under a name of its own, so that other targets can join this binary too.
#define LLVMFuzzerTestOneInput JpegUploadFuzzTarget
#include "../../fuzz/jpeg_upload.cpp"
#undef LLVMFuzzerTestOneInput

// Edit options are written with designated initializers; the fields left out keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

// 0xRRGGBB of a distinct colour per pixel.
uint32_t Colour(int x, int y) { return static_cast<uint32_t>((x * 40 + 5) << 16 | (y * 30 + 7) << 8 | (x + y) * 9); }

// Whether the picture is w x h with the colours rgb(x, y) as 0xRRGGBB.
bool HasPixels(const TBitmap24& b, int w, int h, const std::function<uint32_t(int, int)>& rgb) {
  bool same = b.Width == w && b.Height == h;
  for (int y = 0; same && y < h; ++y)
    for (int x = 0; x < w; ++x) same = same && (b.At(x, y)[2] << 16 | b.At(x, y)[1] << 8 | b.At(x, y)[0]) == static_cast<int>(rgb(x, y));
  return same;
}

TEST(JpegEditor, BmpFormsDecodeExactly) {
  const std::vector<std::array<uint8_t, 3>> palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                                                       {10, 20, 30}, {200, 100, 50}, {1, 2, 3}, {255, 255, 255}};
  const auto fromPalette = [&](int x, int y) {
    const auto& c = palette[(x + 2 * y) % 8];
    return static_cast<uint32_t>(c[2] << 16 | c[1] << 8 | c[0]);
  };
  const auto index = [](int x, int y) { return static_cast<uint32_t>((x + 2 * y) % 8); };
  const auto bit = [](int x, int y) { return static_cast<uint32_t>((x + y) % 2); };
  const auto fromBit = [&](int x, int y) { return (x + y) % 2 ? 0xFFu : 0u; };  // palette 0 black, 1 blue

  struct TCase {
    const char* Name;
    TTestBMP Bmp;
    std::function<uint32_t(int, int)> Want;
  };
  std::vector<TCase> cases = {
      {"24 bits bottom-up", {5, 3, 24, false, false, {}, Colour}, Colour},
      {"24 bits top-down", {5, 3, 24, true, false, {}, Colour}, Colour},
      {"32 bits", {3, 4, 32, false, false, {}, Colour}, Colour},
      {"8 bits with palette", {7, 3, 8, false, false, palette, index}, fromPalette},
      {"4 bits top-down", {7, 2, 4, true, false, palette, index}, fromPalette},
      {"1 bit", {11, 3, 1, false, false, {{0, 0, 0}, {255, 0, 0}}, bit}, fromBit},
      {"OS/2 core header", {4, 2, 24, false, true, {}, Colour}, Colour},
  };
  for (const TCase& c : cases) {
    TBitmap24 b;
    EXPECT_EQ(DecodeBMP(c.Bmp.Bytes(), b), TDecodeResult::Ok) << c.Name;
    EXPECT_TRUE(HasPixels(b, c.Bmp.Width, c.Bmp.Height, c.Want)) << c.Name;
  }
}

TEST(JpegEditor, BrokenAndOversizedBmpsAreAnswers) {
  const std::string good = TTestBMP{6, 5, 24, false, false, {}, Colour}.Bytes();
  const auto with = [&](size_t at, std::initializer_list<int> bytes) {
    std::string s = good;
    for (int v : bytes) s[at++] = static_cast<char>(v);
    return s;
  };
  const struct { const char* What; std::string Bytes; TDecodeResult Want; } cases[] = {
      {"header cut", good.substr(0, 20), TDecodeResult::Broken},
      {"last row cut", good.substr(0, good.size() - 19), TDecodeResult::Broken},
      {"pixels past the end", with(10, {200}), TDecodeResult::Broken},
      {"7 bits", with(28, {7}), TDecodeResult::Broken},
      {"run-length coded", with(30, {1}), TDecodeResult::Broken},
      // 46 bytes promising 7 x 2,162,684 pixels of 4 bits in a coding stb_image does not know: it
      // would read them as plain rows of zeros past the end (a fuzzer's find: 200 MB, 0.2 s)
      {"unknown coding", std::string("BM\x86\0\x14\0\0\0\0\0\x71\0\0\0\x28\0\0\0\x07\0\0\0\x04\0\xdf\xff\x01\0\x04\0"
                                     "\x08\0\x20\xc8\0\0\0\x10\0\0\x01\0\0\x40\xbf\x20", 46),
       TDecodeResult::Broken},
      {"60000 x 60000", with(18, {0x60, 0xEA, 0, 0, 0x60, 0xEA, 0, 0}), TDecodeResult::TooLarge},
      {"most negative height", with(22, {0, 0, 0, 0x80}), TDecodeResult::TooLarge},
  };
  for (const auto& c : cases) {
    TBitmap24 b;
    EXPECT_EQ(DecodeBMP(c.Bytes, b), c.Want) << c.What;
    EXPECT_TRUE(b.Pixels.empty()) << c.What;
  }
}

TEST(JpegEditor, EditFieldsAsTheEditReadsThem) {
  std::map<std::string, std::string> posted;
  const auto read = [&] { return ReadJpegEditOptions([&](const std::string& n) { return posted[n]; }); };
  for (const char* g : {"0", "-2", "abc", "", "1.5x", "inf", "nan", "1e999"}) {
    posted["gammar"] = g;
    EXPECT_EQ(read().Gamma, 1.0) << g;
  }
  for (auto [g, want] : {std::pair{" 0.25 ", 0.25}, {"1e308", 1e308}}) {
    posted["gammar"] = g;
    EXPECT_EQ(read().Gamma, want) << g;
  }
  for (auto [text, want] : {std::pair{" -50 ", -50}, {"+5", 5}, {"abc", 0}, {"1.5", 0}, {"99999999999", 0}})
    EXPECT_EQ(EditInteger(text), want) << text;
  posted = {{"rotate", "Right"}, {"cchange", "mono"}, {"median", "on"}};
  EXPECT_EQ(read().Rotate + read().Color, "RIGHTMONO");
  EXPECT_FALSE(read().Blur);  // only "1" blurs
}

TEST(JpegEditor, TrimmingRectangle) {
  const struct { const char* Text; bool Trims; std::array<int, 4> Want; } cases[] = {
      {"\t10\r\n 20   30 40 ", true, {10, 20, 30, 40}},
      {"-5 20 300 40", true, {0, 20, 100, 40}},  // clipped to the picture
      {"0 0 100 80", false, {}},                 // the whole picture
      {"-9 -9 640 480", false, {}},              // clipped to the whole picture
      {"10 20 30", false, {}},
      {"10 20 30 40 50", false, {}},
      {"a 20 30 40", false, {}},                 // a letter counts as -1
      {"50 50 10 10", false, {}},                // inverted
      {"100 0 120 80", false, {}},               // wholly outside
  };
  for (const auto& c : cases) {
    std::array<int, 4> got{};
    EXPECT_EQ(TrimmingRectangle(c.Text, 100, 80, got[0], got[1], got[2], got[3]), c.Trims) << c.Text;
    if (c.Trims) {
      EXPECT_EQ(got, c.Want) << c.Text;
    }
  }
}

TBitmap24 Gradient(int w, int h) {
  TBitmap24 b;
  b.Resize(w, h);
  for (int i = 0; i < w * h; ++i) b.Pixels[i * 3] = static_cast<uint8_t>(i * 7);
  return b;
}

TEST(JpegEditor, EditsRunInTheirOrder) {
  // One pixel through point steps: contrast before brightness (200 -> 236 -> 186; the other way
  // gives 161); mono before contrast (gray 140 -> 146); gamma after brightness and tone after
  // that (127 -> 63, 10 -> 0, 255 + 3).
  const struct { std::vector<uint8_t> In; TJpegEditOptions O; std::vector<uint8_t> Out; } points[] = {
      {{200, 200, 200}, {.Light = -50, .Contrast = 50}, {186, 186, 186}},
      {{200, 150, 100}, {.Color = "MONO", .Contrast = 50}, {146, 146, 146}},
      {{117, 0, 250}, {.Light = 10, .RedTone = 3, .Gamma = 2.0}, {63, 0, 255}},
  };
  for (const auto& c : points) {
    TBitmap24 b = Gradient(1, 1);
    b.Pixels = c.In;
    ApplyJpegEdits(b, c.O);
    EXPECT_EQ(b.Pixels, c.Out);
  }

  // Trimming disables resizing, a trimming of the whole picture does not; 0 or less keeps a
  // side; the rotation comes last; a size over the pixel limit changes nothing.
  const struct { TJpegEditOptions O; TEditResult Result; int Size; } shapes[] = {
      {{.Trimming = "2 1 12 9", .Width = 50, .Height = 40}, TEditResult::Ok, 1008},
      {{.Trimming = "0 0 20 10", .Width = 50, .Height = 40}, TEditResult::Ok, 5040},
      {{.Width = 0, .Height = -5, .Rotate = "LEFT"}, TEditResult::Ok, 1020},
      {{.Width = 100000, .Height = 100000, .Color = "NEGA"}, TEditResult::TooManyPixels, 2010},
  };
  for (const auto& c : shapes) {
    TBitmap24 b = Gradient(20, 10);
    EXPECT_EQ(ApplyJpegEdits(b, c.O), c.Result);
    EXPECT_EQ(b.Width * 100 + b.Height, c.Size);
    if (c.Result != TEditResult::Ok) {
      EXPECT_EQ(b.Pixels, Gradient(20, 10).Pixels);
    }
  }

  // Every step at once on a 1 x 1 and a 1 x 5000 picture.
  const TJpegEditOptions all = {.Rotate = "TURN", .Color = "SEPIA", .Light = 5, .Contrast = -5, .RedTone = 5,
                                .Sharp = 50, .Mosaic = 5, .Blur = true, .Gamma = 0.5};
  for (int h : {1, 5000}) {
    TBitmap24 b = Gradient(1, h);
    EXPECT_EQ(ApplyJpegEdits(b, all), TEditResult::Ok);
    EXPECT_EQ(b.Width * 10000 + b.Height, 10000 + h);
  }
}

// The fuzz target on its seed corpus and a bounded number of mutations of it (it traps on a
// stream it accepts that is not a storable JPEG).
TEST(JpegEditor, UploadFuzzTargetOnMutatedCorpus) {
  std::vector<std::string> corpus;
  for (const auto& f : std::filesystem::directory_iterator(std::string(VELM_SOURCE_DIR) + "/fuzz/corpus/jpeg_upload")) {
    std::ostringstream s;
    s << std::ifstream(f.path(), std::ios::binary).rdbuf();
    corpus.push_back(s.str());
  }
  ASSERT_GE(corpus.size(), 8u);
  std::mt19937 rng(20260105);
  for (const std::string& seed : corpus)
    for (int round = 0; round < 150; ++round) {
      std::string s = seed;
      for (int e = round ? 1 + static_cast<int>(rng() % 4) : 0; e > 0 && !s.empty(); --e) {
        const size_t at = rng() % s.size();
        switch (rng() % 4) {
          case 0: s[at] = static_cast<char>(s[at] ^ (1 << (rng() % 8))); break;
          case 1: s[at] = static_cast<char>(rng() % 2 ? 0xFF : 0); break;
          case 2: s.resize(at); break;
          case 3: s.insert(at, std::string(1 + rng() % 8, static_cast<char>(rng()))); break;
        }
      }
      JpegUploadFuzzTarget(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    }
}

}  // namespace
