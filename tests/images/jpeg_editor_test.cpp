// The editor without its pages: BMP files, the upload check, the edit fields and the chain of
// edits; the upload check against its fuzz corpus and mutations of it.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "images/NewEfectImage.h"
#include "images/jpeg_editor.h"
#include "test_pictures.h"

namespace {

// 0xRRGGBB of a distinct colour per pixel.
uint32_t Colour(int x, int y) { return static_cast<uint32_t>((x * 40 + 5) << 16 | (y * 30 + 7) << 8 | (x + y) * 9); }

void ExpectPixels(const TBitmap24& b, int w, int h, const std::function<uint32_t(int, int)>& rgb, const std::string& what) {
  ASSERT_EQ(b.Width, w) << what;
  ASSERT_EQ(b.Height, h) << what;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t v = rgb(x, y);
      const uint8_t* p = b.At(x, y);
      ASSERT_EQ((p[2] << 16 | p[1] << 8 | p[0]), static_cast<int>(v)) << what << " at " << x << "," << y;
    }
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
      {"32 bits top-down", {3, 4, 32, true, false, {}, Colour}, Colour},
      {"8 bits with palette", {7, 3, 8, false, false, palette, index}, fromPalette},
      {"4 bits with palette", {7, 3, 4, false, false, palette, index}, fromPalette},
      {"4 bits top-down", {6, 2, 4, true, false, palette, index}, fromPalette},
      {"1 bit", {11, 3, 1, false, false, {{0, 0, 0}, {255, 0, 0}}, bit}, fromBit},
      {"OS/2 core header", {4, 2, 24, false, true, {}, Colour}, Colour},
  };
  for (const TCase& c : cases) {
    TBitmap24 b;
    ASSERT_EQ(DecodeBMP(c.Bmp.Bytes(), b), TDecodeResult::Ok) << c.Name;
    ExpectPixels(b, c.Bmp.Width, c.Bmp.Height, c.Want, c.Name);
  }
}

TEST(JpegEditor, BrokenAndOversizedBmpsAreAnswers) {
  const std::string good = TTestBMP{6, 5, 24, false, false, {}, Colour}.Bytes();
  TBitmap24 b;
  // Cut anywhere before the last row's pixels, or lying about the pixel offset or bit count.
  for (size_t cut : {size_t{0}, size_t{2}, size_t{20}, size_t{53}, size_t{60}, good.size() - 19}) {
    EXPECT_EQ(DecodeBMP(good.substr(0, cut), b), TDecodeResult::Broken) << cut;
    EXPECT_TRUE(b.Pixels.empty());
  }
  std::string bad = good;
  bad[10] = static_cast<char>(200);  // pixels said to start past the end
  EXPECT_EQ(DecodeBMP(bad, b), TDecodeResult::Broken);
  bad = good;
  bad[28] = 7;  // 7 bits per pixel
  EXPECT_EQ(DecodeBMP(bad, b), TDecodeResult::Broken);
  bad = good;
  bad[30] = 1;  // run-length coded
  EXPECT_EQ(DecodeBMP(bad, b), TDecodeResult::Broken);
  bad = good;
  bad[18] = bad[19] = bad[20] = bad[21] = 0;  // no width
  EXPECT_EQ(DecodeBMP(bad, b), TDecodeResult::Broken);
  // 60000 x 60000 claimed by a small file: refused before anything is made.
  bad = good;
  for (int at : {18, 22}) {
    bad[at] = static_cast<char>(0x60);
    bad[at + 1] = static_cast<char>(0xEA);
    bad[at + 2] = 0;
  }
  EXPECT_EQ(DecodeBMP(bad, b), TDecodeResult::TooLarge);
  // The most negative height is not a top-down picture of 2^31 rows.
  bad = good;
  bad[22] = bad[23] = bad[24] = 0;
  bad[25] = static_cast<char>(0x80);
  EXPECT_EQ(DecodeBMP(bad, b), TDecodeResult::TooLarge);
}

TEST(JpegEditor, UploadClassification) {
  const std::string jpeg = TestJPEG(40, 30, [](int x, int y) { return std::array<uint8_t, 3>{uint8_t(x * 6), uint8_t(y * 8), 90}; });
  std::string s = jpeg;
  EXPECT_EQ(PrepareEditorUpload(s), TUploadCheck::Ok);
  EXPECT_EQ(s, jpeg);  // a JPEG is stored as it came

  // A BMP becomes a JPEG of the same picture.
  s = TTestBMP{33, 21, 24, false, false, {}, [](int, int) { return 0x3060C0u; }}.Bytes();
  ASSERT_EQ(PrepareEditorUpload(s), TUploadCheck::Ok);
  TBitmap24 b;
  ASSERT_EQ(DecodeJPEG(s, b), TDecodeResult::Ok);
  ASSERT_EQ(b.Width * 100 + b.Height, 3321);
  EXPECT_NEAR(b.At(16, 10)[0], 0xC0, 3);
  EXPECT_NEAR(b.At(16, 10)[1], 0x60, 3);
  EXPECT_NEAR(b.At(16, 10)[2], 0x30, 3);

  const struct { std::string Stream; TUploadCheck Want; } cases[] = {
      {"", TUploadCheck::NotPicture},
      {"\xFF\xD8", TUploadCheck::NotPicture},
      {"GIF89a\x01\x00\x01\x00", TUploadCheck::NotPicture},
      {"\x89PNG\r\n\x1A\n", TUploadCheck::NotPicture},
      {jpeg.substr(0, jpeg.size() / 2), TUploadCheck::NotPicture},  // truncated
      {"BM", TUploadCheck::NotPicture},
      {std::string(jpeg.size(), 'x'), TUploadCheck::NotPicture},
  };
  for (const auto& c : cases) {
    s = c.Stream;
    EXPECT_EQ(PrepareEditorUpload(s), c.Want) << c.Stream.size();
  }

  // The stored stream must stay below 5 MiB: bytes after the end of the picture count too.
  s = jpeg + std::string(kJpegUploadLimit - 1 - jpeg.size(), '\0');
  EXPECT_EQ(PrepareEditorUpload(s), TUploadCheck::Ok);
  s += '\0';
  EXPECT_EQ(PrepareEditorUpload(s), TUploadCheck::TooLarge);

  // A frame header claiming 60000 x 60000.
  s = jpeg;
  const size_t sof = s.find("\xFF\xC0", 2);
  ASSERT_NE(sof, std::string::npos);
  s[sof + 5] = s[sof + 7] = static_cast<char>(0xEA);
  s[sof + 6] = s[sof + 8] = static_cast<char>(0x60);
  EXPECT_EQ(PrepareEditorUpload(s), TUploadCheck::TooManyPixels);
}

TEST(JpegEditor, EditFieldsAsTheEditReadsThem) {
  std::map<std::string, std::string> posted;
  const auto read = [&] { return ReadJpegEditOptions([&](const std::string& n) { return posted.count(n) ? posted[n] : ""; }); };
  EXPECT_EQ(read().Gamma, 1.0);
  for (const char* g : {"0", "-2", "abc", "", "1.5x", "inf", "nan", "1e999"}) {
    posted["gammar"] = g;
    EXPECT_EQ(read().Gamma, 1.0) << g;
  }
  for (auto [g, want] : {std::pair{"1.5", 1.5}, {" 0.25 ", 0.25}, {"1e308", 1e308}, {"2", 2.0}}) {
    posted["gammar"] = g;
    EXPECT_EQ(read().Gamma, want) << g;
  }
  EXPECT_EQ(EditGammaValue("-2"), -2.0);  // the page shows what was posted

  const struct { const char* Text; int Want; } ints[] = {
      {"25", 25}, {" -50 ", -50}, {"+5", 5}, {"abc", 0}, {"", 0}, {"1.5", 0}, {"99999999999", 0}, {"2147483647", 2147483647},
  };
  for (const auto& c : ints) EXPECT_EQ(EditInteger(c.Text), c.Want) << c.Text;

  posted = {{"rotate", "Right"}, {"cchange", "mono"}, {"median", "1"}, {"csharp", "10"}, {"rwidth", "-5"}};
  TJpegEditOptions o = read();
  EXPECT_EQ(o.Rotate, "RIGHT");
  EXPECT_EQ(o.Color, "MONO");
  EXPECT_TRUE(o.Blur);
  EXPECT_EQ(o.Sharp, 10);
  EXPECT_EQ(o.Width, -5);
  posted["median"] = "on";
  EXPECT_FALSE(read().Blur);
}

TEST(JpegEditor, TrimmingRectangle) {
  const struct { const char* Text; bool Trims; std::array<int, 4> Want; } cases[] = {
      {"10 20 30 40", true, {10, 20, 30, 40}},
      {"\t10\r\n 20   30 40 ", true, {10, 20, 30, 40}},
      {"0 0 100 80", false, {}},      // the whole picture
      {"0 0 640 480", false, {}},     // clipped to the whole picture
      {"10 20 30", false, {}},        // three numbers
      {"10 20 30 40 50", false, {}},  // five
      {"a 20 30 40", false, {}},      // a letter counts as -1
      {"-1 20 30 40", false, {}},
      {"-5 20 300 40", true, {0, 20, 100, 40}},
      {"50 50 10 10", false, {}},     // inverted
      {"100 0 120 80", false, {}},    // wholly outside
      {"99999999999 0 10 10", false, {}},
      {"", false, {}},
  };
  for (const auto& c : cases) {
    int l = -9, t = -9, r = -9, b = -9;
    EXPECT_EQ(TrimmingRectangle(c.Text, 100, 80, l, t, r, b), c.Trims) << c.Text;
    if (c.Trims) {
      EXPECT_EQ((std::array<int, 4>{l, t, r, b}), c.Want) << c.Text;
    }
  }
}

TBitmap24 Gradient(int w, int h) {
  TBitmap24 b;
  b.Resize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.At(x, y);
      p[0] = static_cast<uint8_t>(x * 7);
      p[1] = static_cast<uint8_t>(y * 11);
      p[2] = static_cast<uint8_t>(200 - x - y);
    }
  return b;
}

TEST(JpegEditor, EditsRunInTheirOrder) {
  TJpegEditOptions o;
  TBitmap24 b = Gradient(20, 10);
  // Nothing asked: nothing changes, whatever gamma of 0 or less came in as.
  ASSERT_EQ(ApplyJpegEdits(b, o), TEditResult::Ok);
  EXPECT_EQ(b.Pixels, Gradient(20, 10).Pixels);

  // Contrast before brightness: 200 -> 236 -> 186 (the other way round gives 161).
  b = Gradient(1, 1);
  b.Pixels = {200, 200, 200};
  o.Contrast = 50;
  o.Light = -50;
  ApplyJpegEdits(b, o);
  EXPECT_EQ(b.Pixels, (std::vector<uint8_t>{186, 186, 186}));
  // Mono before contrast: gray 140 -> 146.
  b.Pixels = {200, 150, 100};
  o = {};
  o.Color = "MONO";
  o.Contrast = 50;
  ApplyJpegEdits(b, o);
  EXPECT_EQ(b.Pixels, (std::vector<uint8_t>{146, 146, 146}));
  // Gamma after brightness; colour tone last but for the rotation.
  b.Pixels = {117, 0, 250};
  o = {};
  o.Light = 10;
  o.Gamma = 2.0;
  o.RedTone = 3;
  ApplyJpegEdits(b, o);
  EXPECT_EQ(b.Pixels, (std::vector<uint8_t>{63, 0, 255}));  // 127 -> 63, 10 -> 0 (0.43 - 1), 255 + 3

  // Trimming disables resizing; a trimming of the whole picture does not.
  o = {};
  o.Trimming = "2 1 12 9";
  o.Width = 50;
  o.Height = 40;
  b = Gradient(20, 10);
  ApplyJpegEdits(b, o);
  EXPECT_EQ(b.Width * 100 + b.Height, 1008);
  EXPECT_EQ(b.At(0, 0)[0], 14);
  o.Trimming = "0 0 20 10";
  b = Gradient(20, 10);
  ApplyJpegEdits(b, o);
  EXPECT_EQ(b.Width * 100 + b.Height, 5040);
  // 0 or less keeps a side; then the rotation swaps them.
  o.Width = 0;
  o.Height = -5;
  o.Rotate = "LEFT";
  b = Gradient(20, 10);
  ApplyJpegEdits(b, o);
  EXPECT_EQ(b.Width * 100 + b.Height, 1020);
  // A size over the pixel limit is refused before anything changes.
  o.Width = 100000;
  o.Height = 100000;
  o.Color = "NEGA";
  b = Gradient(20, 10);
  EXPECT_EQ(ApplyJpegEdits(b, o), TEditResult::TooManyPixels);
  EXPECT_EQ(b.Pixels, Gradient(20, 10).Pixels);

  // Every step at once on odd shapes, including a 1 x 1 and a 1 x 5000 picture.
  for (auto [w, h] : {std::pair{1, 1}, {1, 5000}, {7, 3}}) {
    o = {};
    o.Color = "SEPIA";
    o.Contrast = o.Light = o.RedTone = o.GreenTone = o.BlueTone = -5;
    o.Gamma = 0.5;
    o.Sharp = 50;
    o.Mosaic = 5;
    o.Blur = true;
    o.Rotate = "TURN";
    b = Gradient(w, h);
    ASSERT_EQ(ApplyJpegEdits(b, o), TEditResult::Ok);
    EXPECT_EQ(b.Width * 10000 + b.Height, w * 10000 + h);
  }
}

std::vector<std::string> Corpus() {
  const std::string dir = std::string(VELM_SOURCE_DIR) + "/fuzz/corpus/jpeg_upload/";
  std::vector<std::string> files;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream in(dir + e->d_name, std::ios::binary);
      std::stringstream s;
      s << in.rdbuf();
      files.push_back(s.str());
    }
    closedir(d);
  }
  return files;
}

// The upload check on its fuzz corpus and on a bounded number of mutations of it: every answer
// is one of the defined ones, and what it accepts is a JPEG that decodes.
TEST(JpegEditor, UploadCheckSurvivesMutatedCorpus) {
  const std::vector<std::string> corpus = Corpus();
  ASSERT_GE(corpus.size(), 8u);
  std::mt19937 rng(20260105);
  int accepted = 0;
  for (const std::string& seed : corpus) {
    for (int round = 0; round < 150; ++round) {
      std::string s = seed;
      if (round > 0) {
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits && !s.empty(); ++e) {
          const size_t at = rng() % s.size();
          switch (rng() % 5) {
            case 0: s[at] = static_cast<char>(s[at] ^ (1 << (rng() % 8))); break;
            case 1: s[at] = static_cast<char>(0xFF); break;
            case 2: s.resize(at); break;
            case 3: s.insert(at, std::string(1 + rng() % 8, static_cast<char>(rng()))); break;
            case 4: s[at] = 0; break;
          }
        }
      }
      const TUploadCheck r = PrepareEditorUpload(s);
      if (r == TUploadCheck::Ok) {
        ++accepted;
        TBitmap24 b;
        ASSERT_EQ(DecodeJPEG(s, b), TDecodeResult::Ok);
        ASSERT_LT(static_cast<long long>(s.size()), kJpegUploadLimit);
      }
    }
  }
  EXPECT_GT(accepted, static_cast<int>(corpus.size()));
}

}  // namespace
