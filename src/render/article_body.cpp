// Article bodies into HTML: the picture tag <BIMAGE ...>, line breaks and the teaser of the
// article lists; the editor's renumbering of picture tags and its picture-tag options.
#include "render/article_body.h"

#include <algorithm>

#include "store/file_access.h"
#include "text/DHTMLTag.h"
#include "text/DString.h"

namespace {

// Template slots: six aligns, sized first, full size from kFullSize on.
constexpr int kFullSize = 6;
constexpr int kSizedAleft = 4, kSizedAright = 5;

bool IsPictureTag(const std::string& tag) { return tag.size() >= 8 && UpperCase(tag.substr(0, 8)) == "<BIMAGE "; }

// -1 for an align that has no template.
int AlignSlot(const std::string& align) {
  static const char* const kAligns[] = {"", "LEFT", "RIGHT", "CENTER", "ALEFT", "ARIGHT"};
  for (int i = 0; i < 6; ++i)
    if (align == kAligns[i]) return i;
  return -1;
}

// The extension of a file name, dot included ("" when it has none).
std::string FileExt(const std::string& name) {
  const size_t dot = name.find_last_of("./");
  return dot == std::string::npos || name[dot] != '.' ? std::string() : name.substr(dot);
}

const TUpFileInfo* FindUpFileInfo(const TSystemSettings& sys, const std::string& ext) {
  for (const TUpFileInfo& u : sys.UpFileInfo)
    if (u.Ext == ext) return &u;
  return nullptr;
}

std::string FillTemplate(const std::string& temp, const std::string& url, const std::string& width) {
  std::string s = ReplaceAllText(temp, "<VELMPATH>", url);
  s = ReplaceAllText(s, "<SIMAGEWIDTH>", width);
  return ReplaceAllText(s, "<EXIF>", "");
}

bool IsPictureExt(const std::string& ext) { return ext == ".JPG" || ext == ".GIF" || ext == ".PNG"; }

std::string LineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "<br>";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "<br>";
    } else {
      out += text[i];
    }
  }
  return out;
}

// The picture tag's number: src as a number, 0 when it is none.
int PictureNumber(const std::string& tag) { return StrToIntDef(GetOptionValue(tag, "src"), 0); }

}  // namespace

std::string RenderArticleBody(const TSystemSettings& sys, const std::string& accountId, const TCSSValue& css,
                              const std::string& accountFolder, const std::string& articleId, bool convert,
                              std::string& firstPicture) {
  firstPicture.clear();
  if (!IsArticleId(articleId)) return "";
  std::string text;
  if (!LoadTextFromFile(accountFolder + articleId + ".txt", text)) return "";
  if (!convert) return text;
  TStringList attach;
  LoadLinesFromFile(accountFolder + articleId + ".iix", attach);

  const TTagList tags = GetTagList(text);
  for (size_t t = tags.size(); t-- > 0;) {
    const size_t pos = static_cast<size_t>(tags[t].Pos - 1), len = static_cast<size_t>(tags[t].Len);
    const std::string tag = text.substr(pos, len);
    if (!IsPictureTag(tag)) continue;
    const int n = PictureNumber(tag);
    if (n < 1 || n > static_cast<int>(attach.size())) continue;  // stays as typed
    const std::string& name = attach[static_cast<size_t>(n - 1)];
    const std::string url = sys.IMAGEPATH + accountId + "/" + name;
    const std::string ext = UpperCase(FileExt(name));
    std::string html;
    if (const TUpFileInfo* u = FindUpFileInfo(sys, ext)) {
      if (UpperCase(GetOptionValue(tag, "type")) == "LINK") {
        html = "<a href=\"" + url + "\" target=\"_blank\">" + UpperCase(GetOptionValue(tag, "desc")) + "</a>";
      } else {
        std::string width = GetOptionValue(tag, "width");
        if (width.empty()) width = std::to_string(css.SIMAGEWIDTH);
        const int base = UpperCase(GetOptionValue(tag, "resize")) == "NO" ? kFullSize : 0;
        const int slot = AlignSlot(UpperCase(GetOptionValue(tag, "align")));
        if (slot >= 0) html = FillTemplate(u->Temp[base + slot], url, width);
        if (firstPicture.empty() && n == 1 && IsPictureExt(ext)) {
          if (css.CONTENTSKIPMETHOD == 2) firstPicture = FillTemplate(u->Temp[kSizedAleft], url, width);
          else if (css.CONTENTSKIPMETHOD == 3) firstPicture = FillTemplate(u->Temp[kSizedAright], url, width);
        }
      }
    }
    text.replace(pos, len, html);
  }
  return LineBreaks(text);
}

std::string MakeTeaser(const std::string& html, int method, int length, const std::string& firstPicture,
                       const std::string& linkBase, const std::string& accountId, const std::string& articleId,
                       const std::string& linkSuffix) {
  if (method < 1 || method > 3) return html;
  if (length < 1) length = 200;
  std::string s = ReplaceAllText(html, "<br>", "\x01");
  s = RemoveTags(s);
  s = CutLength(s, static_cast<size_t>(length), "... ");
  s = ReplaceAll(s, "\x01", "<br>");
  if (method == 2 || method == 3) s = firstPicture + s;
  return s + "<br>[<a href=\"" + linkBase + "velm.exe?" + accountId + "+sl+" + articleId + linkSuffix + "\">" +
         "続きを読む" + "</a>]";
}

std::string RenumberPictureTags(const std::string& body, std::vector<std::string>& attachNames) {
  // The body as pieces: text between picture tags, and the picture tags with their numbers.
  struct TPiece {
    std::string text;
    bool picture = false;
    int number = 0;
    bool renumbered = false;
  };
  std::vector<TPiece> pieces;
  const int count = static_cast<int>(attachNames.size());
  size_t done = 0;
  for (const TTagIndex& t : GetTagList(body)) {
    const size_t pos = static_cast<size_t>(t.Pos - 1), len = static_cast<size_t>(t.Len);
    const std::string tag = body.substr(pos, len);
    if (!IsPictureTag(tag)) continue;
    pieces.push_back({body.substr(done, pos - done)});
    done = pos + len;
    long long n = 0;
    if (!StrToIntStrict(GetOptionValue(tag, "src"), n) || n > count) continue;  // dropped
    pieces.push_back({tag, true, static_cast<int>(n)});
  }
  pieces.push_back({body.substr(done)});

  for (int k = count; k >= 1; --k) {
    const bool used = std::any_of(pieces.begin(), pieces.end(), [&](const TPiece& p) { return p.picture && p.number == k; });
    if (used) continue;
    attachNames.erase(attachNames.begin() + (k - 1));
    for (TPiece& p : pieces)
      if (p.picture && p.number > k) {
        --p.number;
        p.renumbered = true;
      }
  }

  std::string out;
  out.reserve(body.size());
  for (TPiece& p : pieces) {
    if (p.picture && p.renumbered) {
      TOptionList options = GetOptionList(p.text);
      for (TOptionIndex& o : options)
        if (SameText(o.Name, "src")) {
          o.Value = std::to_string(p.number);
          break;
        }
      out += "<BIMAGE" + OptionsText(options, true) + ">";
    } else {
      out += p.text;
    }
  }
  return out;
}

std::string PictureTagOptions(int n, bool floats, int imageWidth) {
  struct TRow {
    const char* attrs;
    const char* label;
    bool isFloat;
    const char* color;
  };
  const std::string w = std::to_string(imageWidth);
  static const TRow kRows[] = {
      {"", "通常配置", false, nullptr},
      {" align=center", "中央に配置", false, nullptr},
      {" align=left", "左寄せ", false, nullptr},
      {" align=right", "右寄せ", false, nullptr},
      {" align=aleft", "左寄せ流し込み", true, nullptr},
      {" align=aright", "右寄せ流し込み", true, nullptr},
      {" width=W", "通常配置(サイズ)", false, "blue"},
      {" align=center width=W", "中央に配置(サイズ)", false, "blue"},
      {" align=left width=W", "左寄せ(サイズ)", false, "blue"},
      {" align=right width=W", "右寄せ(サイズ)", false, "blue"},
      {" align=aleft width=W", "左寄せ流し込み(サイズ)", true, "blue"},
      {" align=aright width=W", "右寄せ流し込み(サイズ)", true, "blue"},
      {" resize=no ", "通常配置(原寸)", false, nullptr},
      {" resize=no align=center", "中央に配置(原寸)", false, nullptr},
      {" resize=no align=left", "左寄せ(原寸)", false, nullptr},
      {" resize=no align=right", "右寄せ(原寸)", false, nullptr},
      {" resize=no align=aleft", "左寄せ流し込み(原寸)", true, nullptr},
      {" resize=no align=aright", "右寄せ流し込み(原寸)", true, nullptr},
      {" type=link desc=", "リンクタイプ", false, "green"},
  };
  std::string out;
  for (const TRow& r : kRows) {
    if (r.isFloat && !floats) continue;
    std::string attrs = r.attrs;
    if (!attrs.empty() && attrs.back() == 'W') attrs.replace(attrs.size() - 1, 1, w);
    out += "<option ";
    if (r.color) out += std::string("style=\"color:") + r.color + "\" ";
    out += "value=\"<BIMAGE src=" + std::to_string(n) + attrs + ">\">" + r.label + "</option>";
  }
  return out;
}
