// The JPEG editor through whole requests: uploads, the actions on the two pictures, edits and
// the editor page (the trimming window is tried in the browser test).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "blog_fixture.h"
#include "images/jpeg_editor.h"
#include "test_pictures.h"

namespace {

const std::string kWork = "images/demo/_jpegmod.jpg";
const std::string kResult = "images/demo/__jpegmod.jpg";
const std::string kBoundary = "----velmTestBoundary7";
const std::string kNotPicture = "<span style=\"color:red\">Jpeg画像が不正です</span>";
const std::string kTooLarge = "<span style=\"color:red\">アップロードできるサイズの上限を超えています</span>";
const std::string kTooManyPixels = "<span style=\"color:red\">画像の画素数が上限(4000万画素)を超えています</span>";
const std::string kLoginFailure = "ログイン名又はパスワードが間違っています";

std::string Colourful(int w, int h) {
  return TestJPEG(w, h, [](int x, int y) { return std::array<uint8_t, 3>{uint8_t(x * 3), uint8_t(200 - y), uint8_t(x + y)}; });
}

// An upload form's body: the field done and the file part jpegimage (left out when name is empty).
std::string UploadBody(const std::string& data, const std::string& name = "a.jpg", const std::string& done = "upload") {
  std::string b = "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"done\"\r\n\r\n" + done + "\r\n";
  if (!name.empty())
    b += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"jpegimage\"; filename=\"" + name +
         "\"\r\nContent-Type: image/jpeg\r\n\r\n" + data + "\r\n";
  return b + "--" + kBoundary + "--\r\n";
}

class TEditor : public TBlogFixture {
public:
  TCGIResult Post(const std::string& query, const std::string& body, bool multipart = false, bool login = true,
                  const std::string& origin = "") const {
    TCGIRun r;
    r.query = query;
    r.method = "POST";
    r.body = body;
    if (multipart) r.contentType = "multipart/form-data; boundary=" + kBoundary;
    if (login) r.cookie = Inst.LoginCookie();
    r.origin = origin;
    return Inst.Run(r);
  }
  TCGIResult Upload(const std::string& data, const std::string& name = "a.jpg") const {
    return Post("demo+jd", UploadBody(data, name), true);
  }
  TCGIResult Action(const std::string& fields) const { return Post("demo+jd", fields); }

  TBitmap24 Picture(const std::string& rel) const {  // empty when missing or not a JPEG
    TBitmap24 b;
    DecodeJPEG(Inst.Read(rel), b);
    return b;
  }
  // Files in the scratch folder besides the two pictures (half-written ones).
  size_t Strays() const {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(Inst.AccountFolder() + "../../images/demo"))
      n += e.path().filename() != "_jpegmod.jpg" && e.path().filename() != "__jpegmod.jpg";
    return n;
  }
};

int Size(const TBitmap24& b) { return b.Width * 10000 + b.Height; }

TEST(JpegEditorRequests, OwnerOnly) {
  TEditor ed;
  for (const char* q : {"demo+jm", "demo+tr"}) {
    const std::string page = ed.Post(q, "", false, false).body;
    EXPECT_TRUE(Has(page, kLoginFailure)) << q;
  }
  const TCGIResult r = ed.Post("demo+jd", UploadBody(Colourful(8, 8)), true, false);
  EXPECT_TRUE(Has(r.body, kLoginFailure));
  EXPECT_FALSE(Has(r.body, "jpegimage"));
  EXPECT_FALSE(ed.Inst.Exists(kWork));

  // A page of another site cannot post to the editor through the owner's browser.
  ed.Inst.Write(kWork, Colourful(8, 8));
  const TCGIResult x = ed.Post("demo+jd", "done=delete", false, true, "http://evil.example");
  EXPECT_TRUE(Has(x.body, "他のサイトからの要求は受け付けません"));
  EXPECT_TRUE(ed.Inst.Exists(kWork));
}

TEST(JpegEditorRequests, UploadStoresJpegAndBmpAsJpeg) {
  TEditor ed;
  ed.Inst.Write(kResult, "old result");
  const std::string jpeg = Colourful(64, 48);
  TCGIResult r = ed.Upload(jpeg);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(ed.Inst.Read(kWork), jpeg);
  EXPECT_EQ(ed.Inst.Read(kResult), "old result");  // an upload keeps the last result
  EXPECT_TRUE(Has(r.body, "<img src=\"./images/demo/_jpegmod.jpg?"));
  EXPECT_TRUE(Has(r.body, "alt=\"64 / 48\""));
  EXPECT_FALSE(Has(r.body, "color:red\">"));

  const std::string bmp = TTestBMP{37, 23, 24, false, false, {}, [](int x, int) { return x < 18 ? 0xFF0000u : 0x0000FFu; }}.Bytes();
  r = ed.Upload(bmp, "photo.bmp");
  const std::string stored = ed.Inst.Read(kWork);
  EXPECT_EQ(stored.substr(0, 3), "\xFF\xD8\xFF");
  const TBitmap24 b = ed.Picture(kWork);
  ASSERT_EQ(Size(b), 370023);
  EXPECT_GT(b.At(3, 10)[2], 230);  // red on the left
  EXPECT_GT(b.At(33, 10)[0], 230);  // blue on the right
  EXPECT_TRUE(Has(r.body, "alt=\"37 / 23\""));
  EXPECT_EQ(ed.Strays(), 0u);
}

TEST(JpegEditorRequests, UploadLimitIsBelowFiveMebibytes) {
  TEditor ed;
  const std::string jpeg = Colourful(16, 16);
  const std::string atLimit = jpeg + std::string(5 * 1024 * 1024 - jpeg.size(), '\0');
  ed.Inst.Write(kWork, jpeg);
  TCGIResult r = ed.Upload(atLimit);
  EXPECT_TRUE(Has(r.body, kTooLarge));
  EXPECT_EQ(ed.Inst.Read(kWork), jpeg);
  const std::string below = atLimit.substr(0, atLimit.size() - 1);
  r = ed.Upload(below);
  EXPECT_FALSE(Has(r.body, kTooLarge));
  EXPECT_EQ(ed.Inst.Read(kWork), below);
}

TEST(JpegEditorRequests, BadUploadsChangeNothing) {
  TEditor ed;
  const std::string jpeg = Colourful(40, 30);
  std::string huge = jpeg;
  const size_t sof = huge.find("\xFF\xC0", 2);
  huge[sof + 5] = huge[sof + 7] = static_cast<char>(0xEA);
  huge[sof + 6] = huge[sof + 8] = static_cast<char>(0x60);
  const std::string bmp = TTestBMP{20, 20, 24, false, false, {}, [](int, int) { return 0x808080u; }}.Bytes();
  const struct { const char* What; std::string Body; std::string Message; } cases[] = {
      {"GIF named .jpg", UploadBody("GIF89a\x01\x00\x01\x00\x80\x00\x00", "x.jpg"), kNotPicture},
      {"PNG named .jpg", UploadBody("\x89PNG\r\n\x1A\n\x00\x00\x00\rIHDR", "x.jpg"), kNotPicture},
      {"truncated JPEG", UploadBody(jpeg.substr(0, jpeg.size() / 2)), kNotPicture},
      {"truncated BMP", UploadBody(bmp.substr(0, bmp.size() - 200), "x.bmp"), kNotPicture},
      {"60000 x 60000", UploadBody(huge), kTooManyPixels},
      {"empty file", UploadBody(""), kNotPicture},
      {"no file part", UploadBody("", ""), kNotPicture},
  };
  ed.Inst.Write(kWork, "working");
  ed.Inst.Write(kResult, "result");
  for (const auto& c : cases) {
    const TCGIResult r = ed.Post("demo+jd", c.Body, true);
    EXPECT_TRUE(Has(r.body, c.Message) && Has(r.body, "name=\"jpegimage\"")) << c.What;  // on the editor page
    EXPECT_EQ(ed.Inst.Read(kWork) + ed.Inst.Read(kResult), "workingresult") << c.What;
  }
  // Without or with an unknown action nothing is done and no page follows.
  for (const char* body : {"", "done=rotate", "trimming=1+2+3+4"}) EXPECT_EQ(ed.Action(body).body, "") << body;
  EXPECT_EQ(ed.Post("demo+jd", UploadBody(jpeg, "a.jpg", "unknown"), true).body, "");
  // An upload's file that holds what looks like a url-encoded action is still an upload.
  const TCGIResult r = ed.Post("demo+jd", UploadBody(jpeg + "&done=delete&"), true);
  EXPECT_EQ(ed.Inst.Read(kWork), jpeg + "&done=delete&");
  EXPECT_EQ(ed.Inst.Read(kResult), "result");
  EXPECT_EQ(ed.Strays(), 0u);
}

TEST(JpegEditorRequests, DeleteExchangeAndDownload) {
  TEditor ed;
  const std::string work = Colourful(10, 10), result = Colourful(20, 5);
  ed.Inst.Write(kWork, work);
  ed.Inst.Write(kResult, result);

  TCGIResult r = ed.Action("done=download");
  EXPECT_EQ(r.header("Content-Type"), "application/x-octet-stream");
  EXPECT_EQ(r.header("Content-Disposition"), "attachment; filename=__jpegmod.jpg");
  EXPECT_EQ(r.header("filename"), "__jpegmod.jpg");
  EXPECT_EQ(r.body, result);  // the picture alone, no page

  // Exchange: the result becomes the working picture.
  r = ed.Action("done=Exchange");
  EXPECT_EQ(ed.Inst.Read(kWork), result);
  EXPECT_FALSE(ed.Inst.Exists(kResult));
  EXPECT_TRUE(Has(r.body, "alt=\"20 / 5\""));
  EXPECT_FALSE(Has(r.body, "ファイルダウンロード"));
  EXPECT_EQ(ed.Action("done=download").body, "");  // nothing to download: no answer

  // Exchange without a result deletes the working picture.
  r = ed.Action("done=exchange");
  EXPECT_FALSE(ed.Inst.Exists(kWork));
  EXPECT_FALSE(Has(r.body, "name=\"jpegedit\""));

  ed.Inst.Write(kWork, work);
  ed.Inst.Write(kResult, result);
  r = ed.Action("done=DELETE");
  EXPECT_FALSE(ed.Inst.Exists(kWork));
  EXPECT_FALSE(ed.Inst.Exists(kResult));
  EXPECT_TRUE(Has(r.body, "加工するJpeg/BMP画像をアップロードする"));
  EXPECT_TRUE(Has(ed.Action("done=delete").body, "加工するJpeg/BMP画像をアップロードする"));  // nothing left to delete
}

TEST(JpegEditorRequests, ChangeStartsFromTheWorkingPictureEachTime) {
  TEditor ed;
  // Nothing to change: the page follows and no result is made.
  TCGIResult r = ed.Action("done=change&cchange=mono");
  EXPECT_TRUE(Has(r.body, "加工するJpeg/BMP画像をアップロードする"));
  EXPECT_FALSE(ed.Inst.Exists(kResult));

  const std::string work = Colourful(64, 48);
  ed.Inst.Write(kWork, work);
  for (int round = 0; round < 2; ++round) {
    r = ed.Action("done=change&cchange=mono&rotate=right&trimming=0+0+64+48&rwidth=64&rheight=48&gammar=1.00");
    EXPECT_EQ(r.exitCode, 0);
    const TBitmap24 b = ed.Picture(kResult);
    ASSERT_EQ(Size(b), 480064) << round;  // turned once, not twice
    for (int i = 0; i < 48 * 64; i += 97) {
      const uint8_t* p = b.Pixels.data() + i * 3;
      EXPECT_LE(std::abs(p[0] - p[2]) + std::abs(p[1] - p[2]), 4) << i;  // gray
    }
  }
  EXPECT_EQ(ed.Inst.Read(kWork), work);
  EXPECT_TRUE(Has(r.body, "alt=\"48 / 64\""));

  // The trimming field wins over the size fields (the order of the edits is tried in tests/images).
  ed.Action("done=change&trimming=10+5+40+25&rwidth=500&rheight=500");
  EXPECT_EQ(Size(ed.Picture(kResult)), 300020);

  // Bad values get the defined answers: no crash, and the result is made or left as it was.
  const std::string before = ed.Inst.Read(kResult);
  r = ed.Action("done=change&rwidth=100000&rheight=100000");
  EXPECT_TRUE(Has(r.body, kTooManyPixels));
  EXPECT_EQ(ed.Inst.Read(kResult), before);
  for (const char* fields : {"trimming=a+b+c+d&rwidth=abc&rheight=-5&gammar=abc&mosaic=7&csharp=-10&light=1000",
                             "trimming=60+40+10+10&rotate=TURN&median=1&mosaic=100&gammar=1e308&rtone=-2147483648"}) {
    r = ed.Action(std::string("done=change&") + fields);
    EXPECT_FALSE(Has(r.body, "color:red\">")) << fields;
    EXPECT_EQ(Size(ed.Picture(kResult)), 640048) << fields;
  }

  // A working picture that does not decode leaves the result alone.
  const std::string kept = ed.Inst.Read(kResult);
  ed.Inst.Write(kWork, work.substr(0, 300));
  r = ed.Action("done=change&cchange=nega");
  EXPECT_TRUE(Has(r.body, kNotPicture));
  EXPECT_EQ(ed.Inst.Read(kResult), kept);
  EXPECT_EQ(ed.Strays(), 0u);
}

TEST(JpegEditorRequests, EditorPageShowsThePicturesAndThePostedValues) {
  TEditor ed;
  std::string page = ed.Post("demo+jm", "").body;
  EXPECT_TRUE(Has(page, "function _aspect(owidth,oheight,width,height,sel,lock)"));
  EXPECT_TRUE(Has(page, "function _seltext(textb)"));
  EXPECT_TRUE(Has(page, "<form style=\"margin:0px\" action=\"./velm.exe?demo+jd\" method=\"post\" "
                        "enctype=\"multipart/form-data\"><input type=\"hidden\" name=\"done\" value=\"upload\">"
                        "<input type=\"file\" name=\"jpegimage\">"));
  EXPECT_TRUE(Has(page, "Jpeg加工でアップロードされた画像は外部から参照が可能です。作業が終了次第削除を推奨します。"));
  EXPECT_FALSE(Has(page, "<img src=\"./images/demo/"));
  EXPECT_FALSE(Has(page, "name=\"jpegedit\""));
  EXPECT_TRUE(EndsWith(page, "</td></tr>\r\n</table></div></body></html>\r\n"));

  // Wider than 480: a link around a smaller picture and the note; narrower: its own size.
  ed.Inst.Write(kWork, Colourful(600, 40));
  ed.Inst.Write(kResult, Colourful(480, 30));
  page = ed.Post("demo+jm", "").body;
  EXPECT_TRUE(Has(page, "\" target=\"_blank\"><img src=\"./images/demo/_jpegmod.jpg?"));
  EXPECT_TRUE(Has(page, "width=\"480\" alt=\"600 / 40\""));
  EXPECT_TRUE(Has(page, "<span style=\"color:blue\">画像が大きいため縮小表示されています</span>"));
  EXPECT_TRUE(Has(page, "\" alt=\"480 / 30\"><br>"));
  for (const char* button : {"value=\"download\"><input style=\"color:green\" type=\"submit\" value=\"ファイルダウンロード\">",
                             "value=\"exchange\"><input style=\"color:purple\" type=\"submit\" value=\"オリジナルに変更する\">",
                             "value=\"delete\"><input style=\"color:red\" type=\"submit\" value=\"ファイル削除\">"})
    EXPECT_TRUE(Has(page, button)) << button;
  // Nothing posted: the whole picture, its size, the aspect lock on, every choice at "none", the
  // rows in their order on alternating backgrounds.
  for (const char* shown : {"<input type=\"hidden\" name=\"owidth\" value=\"600\"><input type=\"hidden\" name=\"oheight\" value=\"40\">",
                            "name=\"trimming\" value=\"0 0 600 40\"", "name=\"rwidth\" value=\"600\"",
                            "name=\"alock\" value=\"1\" checked>縦横比を固定", "name=\"rotate\" value=\"none\" checked>しない",
                            "name=\"gammar\" value=\"1.00\"",
                            "<select name=\"light\"><option value=\"0\" selected>しない</option><option value=\"-50\">－非常に強く</option>"
                            "<option value=\"-25\">－強く</option><option value=\"-10\">－普通</option><option value=\"-5\">－弱く</option>"
                            "<option value=\"5\">＋弱く</option><option value=\"10\">＋普通</option><option value=\"25\">＋強く</option>"
                            "<option value=\"50\">＋非常に強く</option></select>"})
    EXPECT_TRUE(Has(page, shown)) << shown;
  size_t at = 0;
  int row = 0;
  for (const char* label : {"トリミング", "横幅 / 縦幅<br>(トリミング時無効)", "回転", "カラー調整", "シャープ", "モザイク", "ぼかし",
                            "明るさ調整", "コントラスト調整", "色調補正", "ガンマ補正"}) {
    at = page.find(std::string("<tr style=\"background-color:") + (row++ % 2 ? "#f0fff0" : "#c0ffc0") +
                       "\"><td nowrap>" + label + "</td>", at);
    EXPECT_NE(at, std::string::npos) << label;
  }

  // After a change every control shows what was posted.
  page = ed.Action("done=change&trimming=1+2+30+20&rwidth=300&rheight=20&rotate=left&cchange=Sepia&csharp=25&mosaic=3"
                   "&median=1&light=-10&contrast=50&rtone=5&gtone=-25&btone=10&gammar=2.5&owidth=600&oheight=40")
             .body;
  for (const char* shown : {"name=\"trimming\" value=\"1 2 30 20\"", "name=\"rheight\" value=\"20\"",
                            "value=\"1\">縦横比を固定", "value=\"left\" checked>左に90度", "value=\"sepia\" checked>セピア",
                            "<option value=\"25\" selected>普通</option><option value=\"50\">強く</option></select>",
                            "<option value=\"3\" selected>普通</option>", "name=\"median\" value=\"1\" checked>",
                            "<option value=\"-10\" selected>", "<option value=\"50\" selected>", "<option value=\"-25\" selected>",
                            "<option value=\"10\" selected>", "<option value=\"5\" selected>", "name=\"gammar\" value=\"2.50\""})
    EXPECT_TRUE(Has(page, shown)) << shown;
  EXPECT_FALSE(Has(page, "name=\"rotate\" value=\"none\" checked"));
  // Posted text comes back escaped.
  page = ed.Action("done=change&trimming=%22%3E%3Cb%3E&rwidth=%3Cx").body;
  EXPECT_TRUE(Has(page, "name=\"trimming\" value=\"&quot;&gt;&lt;b&gt;\""));
  EXPECT_TRUE(Has(page, "name=\"rwidth\" value=\"&lt;x\""));
}

}  // namespace
