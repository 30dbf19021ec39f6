// The owner's setting pages: the administration frame with its settings cell, result messages
// and the cleaning of posted values before they are stored.
#pragma once
#include <string>

#include "app/Unit1.h"

// The administration frame followed by the opening of the settings cell.
void OpenSettingCell(TWebModule1& m, TStringList& page);
// Closes the settings cell and the page and hands the text to the response.
void CloseSettingCell(TWebModule1& m, TStringList& page);

// "<p style="color:blue">" text "</p>" and the red form for failures.
std::string BlueMessage(const std::string& text);
std::string RedMessage(const std::string& text);

// A value stored on one line of a settings file: CR, LF and NUL removed.
std::string OneLine(const std::string& s);
// A value written into the stylesheet or a tag attribute: also without "<", ">" and '"'.
std::string CssValue(const std::string& s);
// A text typed on several lines stored as one: every line break (CR LF, CR or LF) becomes
// "<br>", NUL is removed.
std::string BreaksToBr(const std::string& s);
// The stored "<br>" (any case) shown again as line breaks, escaped for a textarea.
std::string BrToTextarea(const std::string& s);

// A posted number: blanks and tabs removed, decimal, def when it is not a number.
int PostedNumber(const std::string& s, int def);

// "<option value="v"[ selected]>label</option>" with the value escaped for the attribute.
std::string OptionTag(const std::string& value, const std::string& label, bool selected, const std::string& style = "");
// The prompt that opens a select: a silver option of empty value.
std::string PromptOption(const std::string& label);
