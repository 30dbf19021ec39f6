// Feed output: the newest articles as RSS 1.0, RSS 2.0 or Atom 1.0, written in UTF-8.
#include "syndication/feed.h"

#include <algorithm>

#include "app/Unit1.h"
#include "store/articles.h"
#include "store/categories.h"
#include "text/DString.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

const char kRss10Namespace[] = "http://purl.org/rss/1.0/";
const char kRdfNamespace[] = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
const char kDcNamespace[] = "http://purl.org/dc/elements/1.1/";
const char kAtomNamespace[] = "http://www.w3.org/2005/Atom";
const char kRss20Docs[] = "https://cyber.harvard.edu/rss/rss.html";

// The bytes at [from, from + n) of s, or fewer where s is shorter.
std::string Chars(const std::string& s, size_t from, size_t n) { return from < s.size() ? s.substr(from, n) : ""; }

struct TFeedItem {
  const TContentIndex* Content;
  const TCategoryData* Category;  // nullptr when no category has the article's id
  std::string Desc;
};

// Article text for a description: one line, tags removed, escaped; cut in the short forms.
std::string Description(const std::string& accountFolder, const std::string& id, bool full, size_t length) {
  std::string text = LoadArticleBody(accountFolder, id);
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }),
             text.end());
  text = FeedEscape(RemoveTags(text));
  return full ? text : FeedCut(text, length);
}

void Rss10(TStringList& d, const std::string& url, const std::string& blogTitle, const std::string& blogDesc,
           const std::vector<TFeedItem>& items, const TCategoryList& categories) {
  d.push_back("<?xml version=\"1.0\" encoding=\"utf-8\" ?>");
  d.push_back(std::string("<rdf:RDF xmlns=\"") + kRss10Namespace + "\"");
  d.push_back(std::string("         xmlns:rdf=\"") + kRdfNamespace + "\"");
  d.push_back(std::string("         xmlns:dc=\"") + kDcNamespace + "\"");
  d.push_back("         xml:lang=\"ja\">");
  d.push_back("  <channel rdf:about=\"" + url + "+RSS\">");
  d.push_back("   <title>" + FeedEscape(blogTitle) + "</title>");
  d.push_back("   <link>" + url + "</link>");
  d.push_back("   <description>" + FeedEscape(RemoveTags(blogDesc)) + "</description>");
  d.push_back("   <items>");
  d.push_back("    <rdf:Seq>");
  for (const TFeedItem& it : items)
    d.push_back("      <rdf:li resource=\"" + url + "+sl+" + FeedEscape(it.Content->id) + "\" />");
  d.push_back("    </rdf:Seq>");
  d.push_back("   </items>");
  d.push_back("  </channel>");
  for (const TFeedItem& it : items) {
    const std::string link = url + "+sl+" + FeedEscape(it.Content->id);
    d.push_back("  <item rdf:about=\"" + link + "\">");
    d.push_back("    <title>" + FeedEscape(it.Content->title) + "</title>");
    d.push_back("    <link>" + link + "</link>");
    d.push_back("    <description>" + it.Desc + "</description>");
    d.push_back("    <dc:creator>" + FeedEscape(blogTitle) + "</dc:creator>");
    d.push_back("    <dc:subject>" + FeedEscape(CategoryName(categories, it.Content->category)) + "</dc:subject>");
    d.push_back("    <dc:date>" + FeedEscape(FeedDateRss10(it.Content->update)) + "+09:00</dc:date>");
    d.push_back("  </item>");
  }
  d.push_back("</rdf:RDF>");
}

void Rss20(TStringList& d, const std::string& url, const std::string& blogTitle, const std::string& blogDesc,
           const std::vector<TFeedItem>& items) {
  d.push_back("<?xml version=\"1.0\" encoding=\"utf-8\" ?>");
  d.push_back("<rss version=\"2.0\">");
  d.push_back(" <channel>");
  d.push_back("  <title>" + FeedEscape(RemoveTags(blogTitle)) + "</title>");
  d.push_back("  <link>" + url + "</link>");
  d.push_back("  <description>" + FeedEscape(RemoveTags(blogDesc)) + "</description>");
  d.push_back("  <generator>Weblog System VELM 1.23</generator>");
  d.push_back(std::string("  <docs>") + kRss20Docs + "</docs>");
  d.push_back("  <language>ja</language>");
  for (const TFeedItem& it : items) {
    d.push_back("  <item>");
    d.push_back("   <title>" + FeedEscape(RemoveTags(it.Content->title)) + "</title>");
    d.push_back("   <description>" + it.Desc + "</description>");
    if (it.Category) d.push_back("   <category>" + FeedEscape(it.Category->name) + "</category>");
    d.push_back("   <link>" + url + "+sl+" + FeedEscape(it.Content->id) + "</link>");
    d.push_back("   <pubDate>" + FeedDateRss20(it.Content->update) + "</pubDate>");
    d.push_back("  </item>");
  }
  d.push_back(" </channel>");
  d.push_back("</rss>");
}

void Atom(TStringList& d, const std::string& url, const std::string& blogTitle, const std::vector<TFeedItem>& items) {
  const std::string title = FeedEscape(RemoveTags(blogTitle));
  d.push_back("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
  d.push_back(std::string("<feed xmlns=\"") + kAtomNamespace + "\">");
  d.push_back(" <link rel=\"self\" type=\"application/atom+xml\" href=\"" + url + "+atoml\" />");
  d.push_back(" <title>" + title + "</title>");
  d.push_back(" <link href=\"" + url + "\" />");
  d.push_back(" <id>" + url + "</id>");
  if (!items.empty()) d.push_back(" <updated>" + FeedDateAtom(items.front().Content->update) + "</updated>");
  for (const TFeedItem& it : items) {
    const std::string link = url + "+sl+" + FeedEscape(it.Content->id);
    d.push_back(" <entry>");
    d.push_back("  <title type=\"html\">" + FeedEscape(RemoveTags(it.Content->title)) + "</title>");
    d.push_back("  <id>" + link + "</id>");
    d.push_back("  <author>");
    d.push_back("   <name>" + title + "</name>");
    d.push_back("   <uri>" + url + "</uri>");
    d.push_back("  </author>");
    d.push_back("   <content type=\"html\" xml:lang=\"ja\">" + it.Desc + "</content>");
    if (it.Category) {
      const std::string name = FeedEscape(it.Category->name);
      d.push_back("   <category term=\"" + name + "\" label=\"" + name + "\" />");
    }
    d.push_back("   <link rel=\"alternate\" type=\"text/html\" href=\"" + link + "\" />");
    d.push_back("   <updated>" + FeedDateAtom(it.Content->update) + "</updated>");
    d.push_back(" </entry>");
  }
  d.push_back("</feed>");
}

}  // namespace

std::string FeedEscape(const std::string& s) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\r' || c == '\n') out += c;
    }
  }
  return out;
}

std::string FeedCut(const std::string& escaped, size_t n) {
  if (escaped.size() < n) return escaped;
  std::string kept = CutLength(escaped, n, "");
  // Every "&" of escaped text opens an entity: one without its ";" was cut and goes whole.
  const size_t amp = kept.rfind('&');
  if (amp != std::string::npos && kept.find(';', amp) == std::string::npos) kept.resize(amp);
  return kept + "...";
}

std::string FeedDateRss10(const std::string& stamp) {
  return ReplaceAll(Chars(stamp, 0, 10) + "T" + Chars(stamp, 11, 8), "/", "-");
}

std::string FeedDateRss20(const std::string& stamp) { return FormatMailDate(ParseStamp(stamp), "+0900"); }

std::string FeedDateAtom(const std::string& stamp) {
  const std::string s = FormatStamp(ParseStamp(stamp));  // yyyy/mm/dd hh:nn:ss
  return ReplaceAll(s.substr(0, 10), "/", "-") + "T" + s.substr(11) + "+09:00";
}

int TWebModule1::DoFeed(const TCommandEntry& e) {
  const std::string dialect = e.P2;
  const bool full = std::string(e.P1) == "long";
  const size_t length = static_cast<size_t>(std::max(Sys.RSSDESCLENGTH, 10));
  const std::string url = FeedEscape(BlogURL());

  // A blog behind a view password shows its channel only, so its text does not leak here.
  // The count is tested after an item is written: at least one whatever the setting.
  TContentList contents;
  if (ViewPasswordOK())
    LoadNewestContentList(AccountFolder(), Arg3, CategoryList, static_cast<size_t>(std::max(Css.CONTENTVIEWCOUNT, 1)),
                          contents);

  std::vector<TFeedItem> items;
  items.reserve(contents.size());
  for (const TContentIndex& c : contents)
    items.push_back({&c, FindCategory(CategoryList, c.category), Description(AccountFolder(), c.id, full, length)});

  TStringList doc;
  if (dialect == "1.0")
    Rss10(doc, url, Account.Title, Account.Description, items, CategoryList);
  else if (dialect == "2.0")
    Rss20(doc, url, Account.Title, Account.Description, items);
  else
    Atom(doc, url, Account.Title, items);

  Response.ContentType = "application/xml";
  Response.SetContent(SjisToUtf8(JoinLines(doc) + "\r\n"));
  return 1;
}
