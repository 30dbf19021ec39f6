// The JPEG editor's commands: the editor page (JM), the trimming window (TR) and the actions
// upload, delete, exchange, download and change (JD) on the two pictures of the account.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "app/Unit1.h"
#include "gateway/multipart.h"
#include "images/NewEfectImage.h"
#include "images/jpeg_editor.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {

const char* const kNotPicture = "<span style=\"color:red\">Jpeg画像が不正です</span>";
const char* const kTooLarge = "<span style=\"color:red\">アップロードできるサイズの上限を超えています</span>";
const char* const kNotSaved = "<span style=\"color:red\">Jpeg画像の保存に失敗しました</span>";
const char* const kTooManyPixels = "<span style=\"color:red\">画像の画素数が上限(4000万画素)を超えています</span>";

// Pictures wider than this are shown smaller on the editor page.
constexpr int kShownWidth = 480;

bool IsMultipart(const TWebModule1& m) { return StartsText("multipart/form-data", Trim(m.Request.ContentType())); }

// The action: the upload form posts it in its multipart body, the other forms url-encoded.
std::string PostedAction(TWebModule1& m) {
  if (IsMultipart(m)) return ReadMultipartField(m.Request.RawBody(), "done", m.Request.ContentType(), false);
  return m.Request.ContentFieldValue("done");
}

// A field of the edit form (url-encoded); an upload posts none.
std::string EditField(TWebModule1& m, const std::string& name) {
  return IsMultipart(m) ? std::string() : m.Request.ContentFieldValue(name);
}

// One of the two pictures as the pages show it.
struct TShownPicture {
  bool Exists = false;
  int Width = 0, Height = 0;  // 0 when the file is not a readable JPEG
  std::string URL;            // with a query that changes with the file
};

TShownPicture ShownPicture(const TWebModule1& m, const char* name) {
  TShownPicture p;
  TMappedFile file;
  if (!file.Open(m.AccountImageFolder() + name) || file.Stamp().Size < 0) return p;
  p.Exists = true;
  if (!JPEGSize(std::string(file.Text()), p.Width, p.Height)) p.Width = p.Height = 0;
  p.URL = m.Sys.IMAGEPATH + m.Account.Id + "/" + name + "?" + std::to_string(file.Stamp().ModifiedNs);
  return p;
}

std::string SizeText(const TShownPicture& p) { return std::to_string(p.Width) + " / " + std::to_string(p.Height); }

void PictureLines(TStringList& page, const TShownPicture& p) {
  const std::string url = EscapeAttribute(p.URL);
  if (p.Width > kShownWidth) {
    page.push_back("<a href=\"" + url + "\" target=\"_blank\"><img src=\"" + url + "\" width=\"" +
                   std::to_string(kShownWidth) + "\" alt=\"" + SizeText(p) + "\" border=\"0\"></a><br>");
    page.push_back("<span style=\"color:blue\">画像が大きいため縮小表示されています</span><br>");
  } else {
    page.push_back("<img src=\"" + url + "\" alt=\"" + SizeText(p) + "\"><br>");
  }
}

const char* const kAspectScript[] = {
    "<script type=\"text/javascript\">",
    "<!--",
    "function _aspect(owidth,oheight,width,height,sel,lock) {",
    "  if (!lock) return;",
    "  var ow = parseInt(owidth, 10), oh = parseInt(oheight, 10);",
    "  if (!(ow > 0 && oh > 0)) return;",
    "  if (sel == 0) { var w = parseInt(width.value, 10); if (w > 0) height.value = Math.round(oh * w / ow); }",
    "  else { var h = parseInt(height.value, 10); if (h > 0) width.value = Math.round(ow * h / oh); }",
    "}",
    "function _seltext(textb) { textb.focus(); textb.select(); }",
    "-->",
    "</script>",
};

struct TChoice {
  const char* Value;
  const char* Label;
};

const TChoice kRotations[] = {{"none", "しない"}, {"right", "右に90度"}, {"left", "左に90度"}, {"turn", "180度"}};
const TChoice kColors[] = {{"none", "しない"}, {"sepia", "セピア"}, {"mono", "モノクロ"}, {"nega", "ネガポジ反転"}};
const TChoice kSharpness[] = {{"0", "しない"}, {"10", "弱く"}, {"25", "普通"}, {"50", "強く"}};
const TChoice kMosaics[] = {{"0", "しない"}, {"1", "弱く"}, {"3", "普通"}, {"5", "強く"}};
// "しない" leads, then the steps from the strongest darkening to the strongest brightening.
const TChoice kSteps[] = {{"0", "しない"},  {"-50", "－非常に強く"}, {"-25", "－強く"}, {"-10", "－普通"}, {"-5", "－弱く"},
                          {"5", "＋弱く"}, {"10", "＋普通"},        {"25", "＋強く"},  {"50", "＋非常に強く"}};

// Radio buttons; the posted value (without regard to case) is checked, else the first.
template <size_t N>
std::string Radios(const std::string& name, const TChoice (&choices)[N], const std::string& posted) {
  size_t chosen = 0;
  for (size_t i = 0; i < N; ++i)
    if (SameText(posted, choices[i].Value)) chosen = i;
  std::string s;
  for (size_t i = 0; i < N; ++i)
    s += std::string("<input type=\"radio\" name=\"") + name + "\" value=\"" + choices[i].Value + "\"" +
         (i == chosen ? " checked" : "") + ">" + choices[i].Label + " ";
  return s;
}

// A select of numbers; the option equal to the posted number is selected.
template <size_t N>
std::string NumberSelect(const std::string& name, const TChoice (&choices)[N], int posted) {
  std::string s = "<select name=\"" + name + "\">";
  for (const TChoice& c : choices)
    s += std::string("<option value=\"") + c.Value + "\"" + (std::to_string(posted) == c.Value ? " selected" : "") + ">" +
         c.Label + "</option>";
  return s + "</select>";
}

std::string SizeInput(const std::string& name, const std::string& value, int edited) {
  return "<input style=\"width:50px\" type=\"text\" name=\"" + name + "\" value=\"" + EscapeAttribute(value) +
         "\" onfocus=\"_seltext(this)\" onkeyup=\"_aspect(this.form.owidth.value,this.form.oheight.value,"
         "this.form.rwidth,this.form.rheight," +
         std::to_string(edited) + ",this.form.alock.checked)\">";
}

// The edit form's table, every control showing what was posted with this request.
void EditForm(TWebModule1& m, TStringList& page, const TShownPicture& work) {
  const auto field = [&](const std::string& name) { return EditField(m, name); };
  const bool posted = SameText(PostedAction(m), "change");
  const std::string w = std::to_string(work.Width), h = std::to_string(work.Height);

  page.push_back(m.FormStart("jd", "jpegedit") + HiddenInput("done", "change") + HiddenInput("owidth", w) +
                 HiddenInput("oheight", h));
  page.push_back("<table border=\"0\" cellspacing=\"0\" cellpadding=\"4\">");
  int row = 0;
  const auto addRow = [&](const std::string& label, const std::string& controls) {
    page.push_back(std::string("<tr style=\"background-color:") + (row++ % 2 == 0 ? "#c0ffc0" : "#f0fff0") +
                   "\"><td nowrap>" + label + "</td><td>" + controls + "</td></tr>");
  };

  std::string trimming = field("trimming");
  if (trimming.empty()) trimming = "0 0 " + w + " " + h;
  const std::string window = "./velm.exe?" + m.AccountWord + "+tr";
  addRow("トリミング",
         "<input style=\"width:200px\" type=\"text\" name=\"trimming\" value=\"" + EscapeAttribute(trimming) +
             "\" onfocus=\"_seltext(this)\"> <input type=\"button\" value=\"範囲指定\" onclick=\"window.open('" +
             EscapeAttribute(ReplaceAll(ReplaceAll(window, "\\", "\\\\"), "'", "\\'")) +
             "','velmtrimming','width=" + std::to_string(std::min(work.Width + 40, 1000)) + ",height=" +
             std::to_string(std::min(work.Height + 100, 800)) +
             ",scrollbars=yes,resizable=yes')\"><br>[左上X 左上Y 右下X 右下Y]の座標をスペース区切りで設定");

  std::string rwidth = field("rwidth"), rheight = field("rheight");
  if (rwidth.empty()) rwidth = w;
  if (rheight.empty()) rheight = h;
  const bool lock = !posted || !field("alock").empty();
  addRow("横幅 / 縦幅<br>(トリミング時無効)", SizeInput("rwidth", rwidth, 0) + " / " + SizeInput("rheight", rheight, 1) +
                                                " <input type=\"checkbox\" name=\"alock\" value=\"1\"" +
                                                (lock ? " checked" : "") + ">縦横比を固定");
  addRow("回転", Radios("rotate", kRotations, field("rotate")));
  addRow("カラー調整", Radios("cchange", kColors, field("cchange")));
  addRow("シャープ", NumberSelect("csharp", kSharpness, EditInteger(field("csharp"))));
  addRow("モザイク", NumberSelect("mosaic", kMosaics, EditInteger(field("mosaic"))));
  addRow("ぼかし", std::string("<input type=\"checkbox\" name=\"median\" value=\"1\"") +
                       (field("median") == "1" ? " checked" : "") + ">");
  addRow("明るさ調整", NumberSelect("light", kSteps, EditInteger(field("light"))));
  addRow("コントラスト調整", NumberSelect("contrast", kSteps, EditInteger(field("contrast"))));
  addRow("色調補正", "赤" + NumberSelect("rtone", kSteps, EditInteger(field("rtone"))) + " 緑" +
                         NumberSelect("gtone", kSteps, EditInteger(field("gtone"))) + " 青" +
                         NumberSelect("btone", kSteps, EditInteger(field("btone"))));
  char gamma[400];
  snprintf(gamma, sizeof gamma, "%.2f", EditGammaValue(field("gammar")));
  addRow("ガンマ補正", std::string("<input style=\"width:50px\" type=\"text\" name=\"gammar\" value=\"") + gamma +
                           "\" onfocus=\"_seltext(this)\"> 0以上で小数点で指定。1で補正無し、1以上で黒補正され、1以下で白補正");
  page.push_back("</table>");
}

const char* const kWarning =
    "<span style=\"color:red; font-weight:bold\">Jpeg加工でアップロードされた画像は外部から参照が可能です。"
    "作業が終了次第削除を推奨します。</span><br>";

std::string ResultButton(const TWebModule1& m, const char* done, const char* color, const char* label) {
  return m.FormStart("jd") + HiddenInput("done", done) + "<input style=\"color:" + color +
         "\" type=\"submit\" value=\"" + label + "\"></form>";
}

}  // namespace

int TWebModule1::DoJpegEditor(const TCommandEntry&) {
  const TShownPicture work = ShownPicture(*this, kJpegWorkName);
  const TShownPicture result = ShownPicture(*this, kJpegResultName);
  TStringList page;
  AdminFrame(page);
  page.push_back("</td><td class=\"settingcell\">");
  page.insert(page.end(), std::begin(kAspectScript), std::end(kAspectScript));
  if (!JpegMessage.empty()) page.push_back(JpegMessage + "<br>");

  if (work.Exists) PictureLines(page, work);
  page.push_back(FormStartUpload("jd") + HiddenInput("done", "upload") + "<input type=\"file\" name=\"jpegimage\">" +
                 "<input type=\"submit\" value=\"加工するJpeg/BMP画像をアップロードする\"></form><br>");

  if (result.Exists) {
    PictureLines(page, result);
    page.push_back(ResultButton(*this, "download", "green", "ファイルダウンロード"));
    page.push_back(ResultButton(*this, "exchange", "purple", "オリジナルに変更する"));
    page.push_back(ResultButton(*this, "delete", "red", "ファイル削除"));
    page.push_back("<br>");
  }

  if (work.Exists) {
    EditForm(*this, page, work);
    page.push_back(kWarning);
    page.push_back("<input type=\"submit\" value=\"加工実行\"></form>");
  } else {
    page.push_back(kWarning);
  }
  page.push_back("</td></tr>");
  page.push_back("</table></div></body></html>");
  Response.SetContent(JoinLines(page) + "\r\n");
  return 1;
}

int TWebModule1::DoTrimmingWindow(const TCommandEntry&) {
  const TShownPicture work = ShownPicture(*this, kJpegWorkName);
  const std::string w = std::to_string(work.Width), h = std::to_string(work.Height);
  TStringList page = {
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">",
      "<html lang=\"ja\"><head>",
      "<meta http-equiv=\"content-type\" content=\"text/html; charset=" + Sys.CHARSET + "\">",
      "<meta http-equiv=\"content-style-type\" content=\"text/css\">",
      "<meta http-equiv=\"content-script-type\" content=\"text/javascript\">",
      "<title>VELM トリミングウィンドウ</title>",
      "<script type=\"text/javascript\">",
      "<!--",
      "var _corner = 0;",
      // The upper left corner starts the field, the lower right completes it; a third click starts anew.
      "function _pick(e) {",
      "  var mask = document.getElementById(\"clipmask\"), r = mask.getBoundingClientRect();",
      "  var x = Math.min(Math.max(Math.round(e.clientX - r.left), 0), mask.offsetWidth);",
      "  var y = Math.min(Math.max(Math.round(e.clientY - r.top), 0), mask.offsetHeight);",
      "  var f = document.trimform.posxy;",
      "  var box = document.getElementById(\"clipbox\");",
      "  if (_corner == 0) { f.value = x + \" \" + y; _corner = 1; box.style.display = \"none\"; return; }",
      "  f.value += \" \" + x + \" \" + y; _corner = 0;",
      "  var v = f.value.split(\" \");",
      "  box.style.left = v[0] + \"px\"; box.style.top = v[1] + \"px\";",
      "  box.style.width = Math.max(v[2] - v[0], 0) + \"px\"; box.style.height = Math.max(v[3] - v[1], 0) + \"px\";",
      "  box.style.display = \"block\";",
      "}",
      "function _clear() {",
      "  document.trimform.posxy.value = \"左上をクリック\"; _corner = 0;",
      "  var box = document.getElementById(\"clipbox\"); if (box) box.style.display = \"none\";",
      "}",
      // Copies the corners to the clipboard, and into the editor's trimming field when it is open.
      "function _toclip() {",
      "  var t = document.trimform.posxy.value;",
      "  if (window.clipboardData) window.clipboardData.setData(\"Text\", t);",
      "  else if (navigator.clipboard) navigator.clipboard.writeText(t).catch(function () {});",
      "  try {",
      "    var o = window.opener;",
      "    if (o && !o.closed && o.document.jpegedit && /^\\d+ \\d+ \\d+ \\d+$/.test(t)) o.document.jpegedit.trimming.value = t;",
      "  } catch (err) {}",
      "}",
      "-->",
      "</script>",
      "</head><body>",
      "<form name=\"trimform\" style=\"margin:0px\" action=\"#\" onsubmit=\"return false;\">"
      "<input style=\"width:200px\" type=\"text\" name=\"posxy\" value=\"左上をクリック\"> "
      "<input type=\"button\" value=\"Clear\" onclick=\"_clear()\"> "
      "<input type=\"button\" value=\"To Clip\" onclick=\"_toclip()\"></form>",
  };
  if (work.Exists) {
    page.push_back("<div style=\"position:relative; margin-top:4px; width:" + w + "px; height:" + h + "px\">");
    page.push_back("<img src=\"" + EscapeAttribute(work.URL) + "\" width=\"" + w + "\" height=\"" + h + "\" alt=\"" +
                   SizeText(work) + "\" style=\"position:absolute; left:0px; top:0px; opacity:0.2\">");
    // The chosen area is outlined under the mask, which takes every click.
    page.push_back("<div id=\"clipbox\" style=\"position:absolute; display:none; border:1px solid red; "
                   "box-sizing:border-box\"></div>");
    page.push_back("<div id=\"clipmask\" style=\"position:absolute; left:0px; top:0px; width:" + w + "px; height:" + h +
                   "px; cursor:crosshair\" onclick=\"_pick(event)\"></div>");
    page.push_back("</div>");
  }
  page.push_back("</body></html>");
  Response.SetContent(JoinLines(page) + "\r\n");
  return 1;
}

namespace {

void Upload(TWebModule1& m, const std::string& work) {
  const std::string& body = m.Request.RawBody();
  const TUploadFileinfo file = LocateMultipartFile(body, "jpegimage");
  if (file.DataSize <= 0) {
    m.JpegMessage += kNotPicture;
    return;
  }
  std::string stream = MultipartData(body, file.DataStart, file.DataSize);
  switch (PrepareEditorUpload(stream)) {
    case TUploadCheck::Ok: break;
    case TUploadCheck::NotPicture: m.JpegMessage += kNotPicture; return;
    case TUploadCheck::TooManyPixels: m.JpegMessage += kTooManyPixels; return;
    case TUploadCheck::TooLarge: m.JpegMessage += kTooLarge; return;
    case TUploadCheck::NotEncoded: m.JpegMessage += kNotSaved; return;
  }
  ForceDirectories(m.AccountImageFolder());
  if (!ReplaceFileAtomically(work, stream)) m.JpegMessage += kNotSaved;
}

// The working picture through the edits into the result; both stay as they were on any failure.
void Change(TWebModule1& m, const std::string& work, const std::string& result) {
  if (!FileExists(work)) return;
  TBitmap24 picture;
  {
    std::string bytes;
    if (!LoadStreamFromFile(work, bytes)) {
      m.JpegMessage += kNotPicture;
      return;
    }
    switch (DecodeJPEG(bytes, picture)) {
      case TDecodeResult::Ok: break;
      case TDecodeResult::Broken: m.JpegMessage += kNotPicture; return;
      case TDecodeResult::TooLarge: m.JpegMessage += kTooManyPixels; return;
    }
  }
  const TJpegEditOptions options = ReadJpegEditOptions([&](const std::string& name) { return EditField(m, name); });
  if (ApplyJpegEdits(picture, options) != TEditResult::Ok) {
    m.JpegMessage += kTooManyPixels;
    return;
  }
  std::string jpeg;
  const bool encoded = EncodeJPEG(picture, jpeg, kJpegEditQuality);
  picture = TBitmap24();
  if (!encoded || !ReplaceFileAtomically(result, jpeg)) m.JpegMessage += kNotSaved;
}

}  // namespace

int TWebModule1::DoJpegAction(const TCommandEntry&) {
  const std::string done = UpperCase(PostedAction(*this));
  const std::string work = AccountImageFolder() + kJpegWorkName;
  const std::string result = AccountImageFolder() + kJpegResultName;
  if (done == "UPLOAD") {
    Upload(*this, work);
    return 1;
  }
  if (done == "DELETE") {
    if (FileExists(work)) DeleteFile(work);
    if (FileExists(result)) DeleteFile(result);
    return 1;
  }
  if (done == "EXCHANGE") {
    // The result takes the working picture's place in one step; without a result the working
    // picture goes.
    if (FileExists(result)) {
      if (!RenameFile(result, work)) JpegMessage += kNotSaved;
    } else if (FileExists(work)) {
      DeleteFile(work);
    }
    return 1;
  }
  if (done == "DOWNLOAD") {
    std::string bytes;
    if (FileExists(result) && LoadStreamFromFile(result, bytes)) {
      Response.ContentType = "application/x-octet-stream";
      Response.SetCustomHeader("Content-Disposition", std::string("attachment; filename=") + kJpegResultName);
      Response.SetCustomHeader("filename", kJpegResultName);
      Response.SetContentStream(std::move(bytes));
    }
    return 0;  // the picture is the whole answer: no page follows
  }
  if (done == "CHANGE") {
    Change(*this, work, result);
    return 1;
  }
  return 0;
}
