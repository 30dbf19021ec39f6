// The feed reader box: "<RSSCONTENT ...>" tags of the gadget boxes replaced by the entries of a
// feed, fetched at most once per cache time and kept in two files per key.
#include "syndication/feed_reader.h"

#include <algorithm>
#include <ctime>

#include "app/Unit1.h"
#include "net/httpclient.h"
#include "store/file_access.h"
#include "syndication/RDFLib.h"
#include "syndication/net_settings.h"
#include "text/DHTMLTag.h"
#include "text/DString.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

constexpr int kMinCacheMinutes = 480;
constexpr long long kMaxFeedBytes = 4 << 20;

const char* const kReadError = "<span style=\"color:red\">Read error!<br>Target server is timeout.</span>";

std::string LinesText(const TStringList& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

// Whole minutes since the time of a stamp file; -1 when there is none (or it lies ahead).
long long MinutesSince(const std::string& path) {
  if (!FileExists(path)) return -1;
  const std::string line = ReadFirstLine(path, "");
  if (line.empty()) return -1;
  const long long seconds = static_cast<long long>(time(nullptr)) - static_cast<long long>(ToUnix(ParseStamp(line)));
  return seconds < -60 ? -1 : std::max(0LL, seconds / 60);
}

std::string CacheText(const std::string& path) {
  std::string text;
  if (FileExists(path)) LoadTextFromFile(path, text);
  return text;
}

}  // namespace

bool IsFeedKey(const std::string& key) {
  return IsSafeFileWord(key) && key.find_first_of("\\<>:?*|/\"") == std::string::npos &&
         std::none_of(key.begin(), key.end(), [](unsigned char c) { return c < 0x20; });
}

std::string RenderFeed(const std::string& body, bool showDescription, int count, bool& isXML) {
  TRDFFormat f;
  isXML = f.Detect(body);
  if (!isXML) return "";
  std::string text = UpperCase(f.Encoding).find("EUC-JP") != std::string::npos ? EucToSjis(body) : Utf8ToSjis(body);
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  // The body is read as lines: every line break inside an element comes out as CR LF.
  text = JoinLines(SplitLines(text), "\r\n");
  f.Parse(text);
  f.HeaderTemplate = " ";
  f.FooterTemplate = " ";
  f.ItemLimit = count;
  f.EscapeTitle = true;
  f.ItemTemplate = showDescription ? "<shortdate> <a href=\"<LINK>\" target=\"_blank\"><TITLE></a><br>"
                                     "<span style=\"color:silver\"><DESCRIPTION></span><br>"
                                   : "<shortdate> <a href=\"<LINK>\" target=\"_blank\"><TITLE></a><br>";
  TStringList lines;
  f.Render(0, lines);
  return LinesText(lines);
}

std::string TWebModule1::FeedBoxHTML(const std::string& tag) {
  const std::string key = GetOptionValue(tag, "key"), src = GetOptionValue(tag, "src");
  if (key.empty() || src.empty()) return "not found key or RSS URL.";
  if (!IsFeedKey(key)) return "not found key.";
  int count = StrToIntDef(GetOptionValue(tag, "count"), 0);
  if (count < 0) count = 0;
  const int cacheTime = std::max(kMinCacheMinutes, StrToIntDef(GetOptionValue(tag, "cachetime"), kMinCacheMinutes));
  const bool desc = SameText(GetOptionValue(tag, "desc"), "ON");
  const std::string base = AccountFolder() + key;
  const std::string stampPath = base + ".lastrss", cachePath = base + ".lastread", notePath = base + ".rsslock";
  const std::string cannotRead = "[" + src + "] is cannot read";

  auto fresh = [&] {
    const long long m = MinutesSince(stampPath);
    return m >= 0 && m < cacheTime;
  };
  // A source that failed is tried again only after kFeedRetryMinutes.
  auto failedLately = [&] {
    const std::string note = Trim(PeekNote(notePath));
    if (!IsValidStamp(note)) return false;
    const long long seconds = static_cast<long long>(time(nullptr)) - static_cast<long long>(ToUnix(ParseStamp(note)));
    return seconds >= -60 && seconds < kFeedRetryMinutes * 60LL;
  };
  if (fresh()) return CacheText(cachePath);
  if (failedLately()) return cannotRead;
  // One process fetches a key; the others show what the cache holds meanwhile.
  TLockNote lock;
  if (!lock.TryLock(notePath)) return CacheText(cachePath);
  if (fresh()) return CacheText(cachePath);
  if (failedLately()) return cannotRead;
  const double budget = FeedBudgetLeft();
  if (budget <= 0) return CacheText(cachePath);  // this page has waited for feeds long enough

  THTTPClient c;
  ConfigureHTTPClient(c, Sys, TNetUse::FeedBox);
  c.Deadline = std::min<double>(c.Deadline, budget);
  c.UserAgent = "VELM_RSS_READER1.0";
  c.Port = 80;
  c.Method = mtGET;
  c.RequestHTTPVersion = "1.1";
  c.ConnectRetryCount = 5;
  c.ConnectRetryTime = 10;
  c.MaxBodySize = kMaxFeedBytes;
  const long long started = MonotonicMs();
  c.SetURL(src);
  FeedSecondsSpent += (MonotonicMs() - started) / 1000.0;

  if (c.ServerResult().StatusLine.find("200") == std::string::npos || !c.BodyComplete()) {
    lock.Write(FormatStamp(Now()) + "\r\n");
    return cannotRead;
  }
  bool isXML = false;
  std::string html = RenderFeed(c.BodyBuffer(), desc, count, isXML);
  SaveTextToFile(cachePath, isXML ? html : std::string(kReadError) + "\r\n");
  SaveTextToFile(stampPath, FormatStamp(Now()) + "\r\n", 100, 500);
  lock.Write("");
  return html;
}

double TWebModule1::FeedBudgetLeft() const { return Sys.RSSREADTIMEOUT - FeedSecondsSpent; }

std::string TWebModule1::ExpandFeedBoxes(const std::string& text) {
  if (!Sys.USESIDEMENURSS || UpperCase(text).find("<RSSCONTENT ") == std::string::npos) return text;
  std::string out = text;
  const TTagList tags = GetTagList(text);
  for (auto t = tags.rbegin(); t != tags.rend(); ++t) {
    const std::string tag = TagText(text, *t);
    if (UpperCase(tag.substr(0, 12)) != "<RSSCONTENT ") continue;
    out.replace(static_cast<size_t>(t->Pos - 1), static_cast<size_t>(t->Len), FeedBoxHTML(tag));
  }
  return out;
}
