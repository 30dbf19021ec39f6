// Feed output (RSS 1.0, RSS 2.0, Atom 1.0): the text helpers of the documents.
#pragma once
#include <string>

// XML text and attribute escape: "&", the double quote, "<" and ">" become entities; control
// bytes that XML does not allow are dropped.
std::string FeedEscape(const std::string& s);

// Cuts escaped text to n bytes without splitting a double-byte character or an entity, then
// appends "..."; text shorter than n bytes is returned unchanged.
std::string FeedCut(const std::string& escaped, size_t n);

// Dates of a stored timestamp (yyyy/mm/dd hh:nn:ss), Japan time. An item is dated by the
// article's last save (index field 3), not by its article date.
std::string FeedDateRss10(const std::string& stamp);  // 2007-01-05T13:04:05 (the zone follows in the line)
std::string FeedDateRss20(const std::string& stamp);  // Fri,  5 Jan 2007 13:04:05 +0900
std::string FeedDateAtom(const std::string& stamp);   // 2007-01-05T13:04:05+09:00
