// Form starts, inputs, the escape of user text and the short stamp.
#include <algorithm>

#include "app/Unit1.h"

namespace {
std::string Head(const std::string& account, const std::string& tail) {
  return "<form style=\"margin:0px\" action=\"./velm.exe?" + account + "+" + tail;
}
}  // namespace

std::string TWebModule1::FormStart(const std::string& tail, const std::string& name) const {
  if (name.empty()) return Head(AccountWord, tail) + "\" method=\"post\">";
  return Head(AccountWord, tail) + "\" method=\"post\" name=\"" + name + "\">";
}

std::string TWebModule1::FormStartUpload(const std::string& tail, const std::string& name) const {
  if (name.empty()) return Head(AccountWord, tail) + "\" method=\"post\" enctype=\"multipart/form-data\">";
  return Head(AccountWord, tail) + "\" method=\"post\" enctype=\"multipart/form-data\" name=\"" + name + "\">";
}

std::string TWebModule1::FormStartNewWindow(const std::string& tail, const std::string& name) const {
  if (name.empty()) return Head(AccountWord, tail) + "\" method=\"post\" target=\"_blank\">";
  return Head(AccountWord, tail) + "\" method=\"post\" name=\"" + name + "\" target=\"_blank\">";
}

std::string TextInput(const std::string& name, const std::string& value) {
  return "<input type=\"text\" name=\"" + name + "\" value=\"" + value + "\">";
}

std::string TextInputStyled(const std::string& style, const std::string& name, const std::string& value) {
  return "<input style=\"" + style + "\" type=\"text\" name=\"" + name + "\" value=\"" + value + "\">";
}

std::string HiddenInput(const std::string& name, const std::string& value) {
  return "<input type=\"hidden\" name=\"" + name + "\" value=\"" + value + "\">";
}

std::string ShortStamp(const std::string& stamp) {
  std::string s = stamp;
  s.resize(std::max<size_t>(s.size(), 16), ' ');
  return s.substr(5, 2) + "/" + s.substr(8, 2) + " " + s.substr(11, 2) + ":" + s.substr(14, 2);
}
