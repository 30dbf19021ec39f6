// Byte-string helpers. Every string holds Shift_JIS (CP932) bytes.
#pragma once
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

// Lead byte of a double-byte Shift_JIS character (0x81-0x9F, 0xE0-0xFC).
inline bool IsSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

std::string UpperCase(const std::string& s);   // ASCII letters only; trail bytes untouched
std::string LowerCase(const std::string& s);
bool SameText(const std::string& a, const std::string& b);            // ASCII case-insensitive
bool StartsText(const std::string& prefix, const std::string& s);     // case-insensitive prefix
size_t PosText(const std::string& needle, const std::string& hay, size_t from = 0); // case-insensitive find, npos
std::string Trim(const std::string& s);          // drops bytes <= 0x20 at both ends
std::string ReplaceAll(const std::string& s, const std::string& from, const std::string& to);
std::string ReplaceAllText(const std::string& s, const std::string& from, const std::string& to); // case-insensitive
bool StrToIntStrict(const std::string& s, long long& out);  // optional sign + digits only
int StrToIntDef(const std::string& s, int def);
std::string JoinLines(const TStringList& lines, const std::string& sep = "\r\n");
TStringList SplitLines(const std::string& text);  // CR LF, LF or CR; a final break adds no empty line

std::string TwoDigits(int n);        // 5 -> "05"
std::string TwoDigitsBlank(int n);   // 5 -> " 5"
// Cut to n bytes without splitting a double-byte character, then append suffix.
std::string CutLength(const std::string& s, size_t n, const std::string& suffix);
std::string RemoveTags(const std::string& s);
// Drops blanks and ideographic blanks (81 40), stepping over double-byte characters whole.
std::string RemoveBlanks(const std::string& s);
// Whether needle occurs in hay starting at a character boundary; an empty needle never does.
bool ContainsSjis(const std::string& hay, const std::string& needle);
// Without a last byte that starts a double-byte character and has no second byte: a record field
// ending in one would take its closing quote along when read back.
std::string EndOnCharacter(const std::string& s);
std::string RemoveTrailingBreaks(const std::string& s);
// 1234567 -> "1,234,567".
std::string FormatThousands(long long n);
void TrimList(TStringList& lines);     // drops empty lines at the end
std::string PercentDecode(const std::string& s); // "+" unchanged
std::string RandomDigits(int n);
std::string RandomCode(int n);

// The escape of user text for pages and record fields: "<" "&lt;", ">" "&gt;", '"' "&quot;",
// tab -> blank; "&" is left as it is.
std::string Escape(const std::string& s);
// The same with tabs kept as they are (the lines of a comment's text).
std::string EscapeKeepingTabs(const std::string& s);
// A value that comes back exactly as it is when a form holding it is posted: & < > " escaped.
std::string EscapeAttribute(const std::string& s);

// A request word that becomes part of a file name: refused when it is empty or holds
// "/", "\", "..", NUL or starts with ".".
bool IsSafeFileWord(const std::string& s);
// 40 lower-case hex digits.
bool IsArticleId(const std::string& s);
