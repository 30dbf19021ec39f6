// The escape of user text.
#include "text/DString.h"

namespace {

std::string EscapeText(const std::string& s, bool tabToBlank) {
  std::string out;
  out.reserve(s.size() + 16);
  for (char c : s) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\t': out += tabToBlank ? ' ' : c; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string Escape(const std::string& s) { return EscapeText(s, true); }

std::string EscapeKeepingTabs(const std::string& s) { return EscapeText(s, false); }

std::string EscapeAttribute(const std::string& s) {
  std::string out;
  out.reserve(s.size() + 16);
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}
