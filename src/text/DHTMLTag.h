// Small HTML/XML tag scanner. Positions are 1-based into the scanned text.
#pragma once
#include <string>
#include <vector>

struct TTagIndex { int Pos = 0; int Len = 0; };
using TTagList = std::vector<TTagIndex>;

struct TOptionIndex { std::string Name, Value; int Pos = 0; int Len = 0; };
using TOptionList = std::vector<TOptionIndex>;

TTagList GetTagList(const std::string& text);
TTagList GetTextList(const std::string& text, const TTagList& tags);
std::string TagText(const std::string& text, const TTagIndex& t);  // the bytes of a span
TOptionList GetOptionList(const std::string& tag);
std::string GetOptionValue(const std::string& tag, const std::string& name, const std::string& def = "");
std::string OptionsText(const TOptionList& options, bool quote);
std::string XmlRpcMemberValue(const std::string& text, const std::string& member);
