// The title of a fetched web page, converted to Shift_JIS: the title element, the charsets
// named by the answer's header and by a META tag, and code detection when none is usable.
#pragma once
#include <string>

// The charset parameter of a Content-Type value ("text/html; charset=EUC-JP" gives "EUC-JP"); "" when none.
std::string CharsetParameter(const std::string& contentType);
// The charset of the first "Content-Type:" line of a header block.
std::string HeaderCharset(const std::string& headers);
// The charset of the first META tag that names one: http-equiv Content-Type with a charset in
// its content, or a charset attribute.
std::string MetaCharset(const std::string& html);
// The bytes between "<title>" (or "<title" and the next ">") and "</title>", letters in any case;
// "" when there is no title.
std::string RawTitle(const std::string& html);
// The title's bytes in Shift_JIS: by the charset name (UTF-8, UTF-7, GB2312, EUC-JP; Shift_JIS and
// ASCII unchanged), else by the bytes (UTF-8, ISO-2022-JP, EUC-JP; the whole document decides
// between EUC-JP and Shift_JIS when the title alone cannot).
std::string TitleToSjis(const std::string& title, const std::string& charset, const std::string& document);
// The page's title in Shift_JIS on one line: blanks and line breaks run together, at most
// kMaxTitleBytes bytes; the META charset wins over the header's.
constexpr size_t kMaxTitleBytes = 500;
std::string PageTitle(const std::string& headers, const std::string& body);
