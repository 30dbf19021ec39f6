// The title of a fetched web page in Shift_JIS.
#include "admin/page_title.h"

#include "text/DHTMLTag.h"
#include "text/DString.h"
#include "text/jconvert.h"

namespace {

bool HasHighByte(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return true;
  return false;
}

}  // namespace

std::string CharsetParameter(const std::string& contentType) {
  const size_t at = PosText("CHARSET=", contentType);
  if (at == std::string::npos) return "";
  size_t b = at + 8;
  while (b < contentType.size() && (contentType[b] == ' ' || contentType[b] == '"' || contentType[b] == '\'')) ++b;
  size_t e = b;
  while (e < contentType.size() && std::string(" \t;\"'>/\r\n").find(contentType[e]) == std::string::npos) ++e;
  return contentType.substr(b, e - b);
}

std::string HeaderCharset(const std::string& headers) {
  for (const auto& line : SplitLines(headers))
    if (StartsText("CONTENT-TYPE:", line)) return CharsetParameter(line.substr(13));
  return "";
}

std::string MetaCharset(const std::string& html) {
  for (const auto& t : GetTagList(html)) {
    const std::string tag = TagText(html, t);
    if (!StartsText("<META", tag)) continue;
    const std::string upper = UpperCase(tag);
    std::string charset;
    if (upper.find("HTTP-EQUIV") != std::string::npos && upper.find("CONTENT-TYPE") != std::string::npos)
      charset = CharsetParameter(tag);
    else
      charset = GetOptionValue(tag, "charset");
    if (!charset.empty()) return charset;
  }
  return "";
}

std::string RawTitle(const std::string& html) {
  const size_t open = PosText("<TITLE", html);
  if (open == std::string::npos) return "";
  const size_t gt = html.find('>', open);
  if (gt == std::string::npos) return "";
  // "<TITLE" must end the tag's name: "<TITLEX>" is another element.
  const char after = html[open + 6];
  if (after != '>' && after != ' ' && after != '\t' && after != '\r' && after != '\n') return "";
  const size_t close = PosText("</TITLE>", html, gt + 1);
  if (close == std::string::npos) return "";
  return html.substr(gt + 1, close - gt - 1);
}

std::string TitleToSjis(const std::string& title, const std::string& charset, const std::string& document) {
  enum { kNone, kUtf8, kUtf7, kGb, kEuc, kAsIs } kind = kNone;
  const std::string name = UpperCase(charset);
  if (name.find("UTF-8") != std::string::npos) kind = kUtf8;
  if (name.find("UTF-7") != std::string::npos) kind = kUtf7;
  if (name.find("GB2312") != std::string::npos) kind = kGb;
  if (name.find("EUC-JP") != std::string::npos) kind = kEuc;
  if (name.find("SHIFT_JIS") != std::string::npos || name.find("ASCII") != std::string::npos) kind = kAsIs;
  switch (kind) {
    case kUtf8: return Utf8ToSjis(title);
    case kUtf7: return Utf7ToSjis(title);
    case kGb: return Gb2312ToSjis(title);
    case kEuc: return EucToSjis(title);
    case kAsIs: return title;
    case kNone: break;
  }
  // Japanese text in Shift_JIS or EUC-JP is never valid UTF-8: a page without a usable name in UTF-8 is read as such.
  if (HasHighByte(title) && IsValidUtf8(title)) return Utf8ToSjis(title);
  int code = DetectCode(title);
  if (code == ckEucOrSjis) code = DetectCode(document);
  switch (code) {
    case ckJis:
    case ckJisOld: return JisToSjis(title);
    case ckEuc: return EucToSjis(title);
    default: return title;
  }
}

std::string PageTitle(const std::string& headers, const std::string& body) {
  std::string charset = MetaCharset(body);
  if (charset.empty()) charset = HeaderCharset(headers);
  const std::string title = TitleToSjis(RawTitle(body), charset, body);
  // One line: control bytes and runs of blanks become one blank.
  std::string line;
  for (size_t i = 0; i < title.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(title[i]);
    if (IsSjisLead(c) && i + 1 < title.size()) {
      line += title[i];
      line += title[++i];
    } else if (c <= 0x20) {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += static_cast<char>(c);
    }
  }
  return CutLength(Trim(line), kMaxTitleBytes, "");
}
