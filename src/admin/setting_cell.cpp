// The owner's setting pages: frame, messages and posted values.
#include "admin/setting_cell.h"

#include "render/page_parts.h"
#include "text/DString.h"

void OpenSettingCell(TWebModule1& m, TStringList& page) {
  m.AdminFrame(page);
  page.push_back("</td><td class=\"settingcell\">");
}

void CloseSettingCell(TWebModule1& m, TStringList& page) {
  page.push_back("</td></tr></table></div></body></html>");
  m.Response.SetContent(PageText(page));
}

std::string BlueMessage(const std::string& text) { return "<p style=\"color:blue\">" + text + "</p>"; }
std::string RedMessage(const std::string& text) { return "<p style=\"color:red\">" + text + "</p>"; }

std::string OneLine(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != '\r' && c != '\n' && c != '\0') out += c;
  return out;
}

std::string CssValue(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != '\r' && c != '\n' && c != '\0' && c != '<' && c != '>' && c != '"') out += c;
  return out;
}

std::string BreaksToBr(const std::string& s) {
  std::string out;
  out.reserve(s.size() + 16);
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\r') {
      if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
      out += "<br>";
    } else if (c == '\n') {
      out += "<br>";
    } else if (c != '\0') {
      out += c;
    }
  }
  return out;
}

std::string BrToTextarea(const std::string& s) { return EscapeAttribute(ReplaceAllText(s, "<br>", "\r\n")); }

int PostedNumber(const std::string& s, int def) {
  std::string digits;
  for (char c : s)
    if (c != ' ' && c != '\t') digits += c;
  long long n;
  if (!StrToIntStrict(digits, n) || n < INT32_MIN || n > INT32_MAX) return def;
  return static_cast<int>(n);
}

std::string OptionTag(const std::string& value, const std::string& label, bool selected, const std::string& style) {
  std::string tag = "<option value=\"" + EscapeAttribute(value) + "\"";
  if (!style.empty()) tag += " style=\"" + style + "\"";
  return tag + (selected ? " selected>" : ">") + label + "</option>";
}

std::string PromptOption(const std::string& label) {
  return "<option value=\"\" style=\"color:silver\">" + label + "</option>";
}
