// Trackback pings: the block-list test of the receiver and the answer of a pinged site.
#pragma once
#include <string>

#include "store/velmlib.h"

// True when a line of blockWords (upper-cased; empty lines never match) occurs in the url
// (percent-decoded), the excerpt or the title (blanks and ideographic blanks removed), all
// upper-cased. Ping texts in UTF-8 are compared in the system code page, as they are shown.
bool TrackBackBlocked(const TStringList& blockWords, const std::string& url, const std::string& excerpt,
                      const std::string& title);

// The text between the first <error> and the first </error> of a TrackBack answer, and the same
// for <message>: tag names in any case, contents as received; each empty when a tag is missing.
void ReadTrackBackAnswer(const std::string& body, std::string& error, std::string& message);

// The fields of a received ping in UTF-8: converted from the declared charset, or from the code
// detected over all four fields when none is declared (UTF-8 stays as it is).
struct TPingFields {
  std::string BlogName, Title, Excerpt, Url;
};
TPingFields ConvertPing(const std::string& blogName, const std::string& title, const std::string& excerpt,
                        const std::string& url, const std::string& charset);

// The most bytes kept of a ping's blog name and title, and of its excerpt and url.
constexpr size_t kPingNameBytes = 255, kPingTextBytes = 1000;

// The record line of a received ping (trackback.txt) from its UTF-8 fields: CR, LF, tab and the
// double quote are removed from the four ping fields, which are then cut to their most bytes
// on a character boundary.
std::string TrackBackLine(const std::string& received, const std::string& trackbackId, const std::string& logId,
                          const std::string& blogName, const std::string& title, const std::string& excerpt,
                          const std::string& url);
