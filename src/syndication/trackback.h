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

// The record line of a received ping (trackback.txt, fields as received): CR, LF, tab and the
// double quote are removed from the four ping fields. A line that is not UTF-8 is read back in
// the system code page: a field ending in a lone lead byte loses it, so the line splits as written.
std::string TrackBackLine(const std::string& received, const std::string& trackbackId, const std::string& logId,
                          const std::string& blogName, const std::string& title, const std::string& excerpt,
                          const std::string& url);
