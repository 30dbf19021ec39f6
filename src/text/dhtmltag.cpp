// The tag scanner: tags, the text between them, attributes and XML-RPC member values.
#include "text/DHTMLTag.h"

#include "text/DString.h"

TTagList GetTagList(const std::string& text) {
  TTagList list;
  list.reserve(100);
  bool inTag = false, quoted = false;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!inTag) {
      if (c == '<') {
        inTag = true;
        quoted = false;
        start = i;
      }
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == '>' && !quoted) {
      list.push_back({static_cast<int>(start + 1), static_cast<int>(i - start + 1)});
      inTag = false;
    }
  }
  return list;
}

TTagList GetTextList(const std::string& text, const TTagList& tags) {
  TTagList spans;
  int pos = 1;  // 1-based start of the next span
  for (const auto& t : tags) {
    if (t.Pos > pos) spans.push_back({pos, t.Pos - pos});
    pos = t.Pos + t.Len;
  }
  const int end = static_cast<int>(text.size()) + 1;
  if (end > pos) spans.push_back({pos, end - pos});
  return spans;
}

std::string TagText(const std::string& text, const TTagIndex& t) {
  if (t.Pos < 1 || t.Len <= 0 || static_cast<size_t>(t.Pos - 1) >= text.size()) return "";
  return text.substr(static_cast<size_t>(t.Pos - 1), static_cast<size_t>(t.Len));
}

TOptionList GetOptionList(const std::string& tag) {
  TOptionList list;
  const size_t n = tag.size();
  for (size_t eq = tag.find('='); eq != std::string::npos; eq = tag.find('=', eq + 1)) {
    // The name: the word before "=", blanks and tabs before it skipped.
    size_t e = eq;
    while (e > 0 && (tag[e - 1] == ' ' || tag[e - 1] == '\t')) --e;
    size_t b = e;
    while (b > 0 && tag[b - 1] != ' ' && tag[b - 1] != '\t' && tag[b - 1] != '"' && tag[b - 1] != ';' &&
           tag[b - 1] != '<')
      --b;
    TOptionIndex o;
    o.Name = tag.substr(b, e - b);
    size_t v = eq + 1;
    while (v < n && (tag[v] == ' ' || tag[v] == '\t')) ++v;
    size_t end;
    if (v < n && tag[v] == '"') {
      bool esc = false;
      end = v + 1;
      while (end < n) {
        if (tag[end] == 0x1B) esc = !esc;
        else if (!esc && (tag[end] == '"' || tag[end] == '>')) break;
        ++end;
      }
      o.Value = tag.substr(v + 1, end - v - 1);
      if (end < n && tag[end] == '"') ++end;
    } else {
      end = v;
      while (end < n && tag[end] != ' ' && tag[end] != '\t' && tag[end] != '"' && tag[end] != ';' && tag[end] != '>')
        ++end;
      o.Value = tag.substr(v, end - v);
    }
    o.Pos = static_cast<int>(b + 1);
    o.Len = static_cast<int>(end - b);
    if (!o.Name.empty()) list.push_back(o);
    if (end > eq) eq = end - 1;  // "=" inside the value is not another option
  }
  return list;
}

std::string GetOptionValue(const std::string& tag, const std::string& name, const std::string& def) {
  for (const auto& o : GetOptionList(tag))
    if (SameText(o.Name, name)) return o.Value;
  return def;
}

std::string OptionsText(const TOptionList& options, bool quote) {
  std::string out;
  for (const auto& o : options) out += quote ? " " + o.Name + "=\"" + o.Value + "\"" : " " + o.Name + "=" + o.Value;
  return out;
}

std::string XmlRpcMemberValue(const std::string& text, const std::string& member) {
  const TTagList tags = GetTagList(text);
  size_t nameStart = 0;
  bool found = false;
  size_t valueStart = std::string::npos;
  for (const auto& t : tags) {
    const std::string tag = UpperCase(TagText(text, t));
    const size_t after = static_cast<size_t>(t.Pos - 1 + t.Len);
    if (!found) {
      if (tag == "<NAME>") nameStart = after;
      else if (tag == "</NAME>" && SameText(Trim(text.substr(nameStart, t.Pos - 1 - nameStart)), member)) found = true;
    } else if (tag == "<VALUE>" && valueStart == std::string::npos) {
      valueStart = after;
    } else if (tag == "</VALUE>" && valueStart != std::string::npos) {
      return text.substr(valueStart, t.Pos - 1 - valueStart);
    }
  }
  return "";
}
