// The feed reader box of the gadget area. The sub column calls TWebModule1::ExpandFeedBoxes on
// each box text; every "<RSSCONTENT key=... src=... [count=...] [cachetime=...] [desc=on]>" tag
// becomes the feed's newest entries. Per key, in the account folder: key.lastrss (time of the
// last read), key.lastread (the HTML shown) and key.rsslock (the lock of the one process that
// reads the feed, holding the time of a failed read). A failed source is read again after
// kFeedRetryMinutes at the earliest; all reads of one page together wait at most RSSREADTIMEOUT=.
#pragma once
#include <string>

constexpr int kFeedRetryMinutes = 10;

// A cache name: no folder parts, no "..", no leading ".", none of \ < > : ? * | / " nor controls.
bool IsFeedKey(const std::string& key);

// The box HTML of a fetched feed body (header " ", the items line, footer " ", each line ended
// by CR LF); isXML false (and "") when the body has no XML declaration.
std::string RenderFeed(const std::string& body, bool showDescription, int count, bool& isXML);
