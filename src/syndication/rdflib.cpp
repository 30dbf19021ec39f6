// The feed reader's parser: detection, RSS 1.0 / RSS 2.0 / Atom channels and items, rendering.
#include "syndication/RDFLib.h"

#include <algorithm>
#include <map>

#include "store/file_access.h"
#include "text/DHTMLTag.h"
#include "text/DString.h"

namespace {

struct TFeedTag {
  size_t Pos = 0, Len = 0;
  std::string Name;  // upper case, without "<" and "/"
  bool Closing = false, SelfClosing = false;
};

// The tags of a feed: "<" ... ">" spans (a quoted part may hold ">"); a CDATA section is text,
// a comment one tag of its own.
std::vector<TFeedTag> FeedTags(const std::string& text) {
  std::vector<TFeedTag> tags;
  const size_t n = text.size();
  size_t i = text.find('<');
  while (i != std::string::npos && i < n) {
    if (text.compare(i, 9, "<![CDATA[") == 0) {
      const size_t e = text.find("]]>", i + 9);
      if (e == std::string::npos) break;
      i = text.find('<', e + 3);
      continue;
    }
    size_t end;
    if (text.compare(i, 4, "<!--") == 0) {
      const size_t e = text.find("-->", i + 4);
      if (e == std::string::npos) break;
      end = e + 2;
    } else {
      bool quoted = false;
      end = i + 1;
      while (end < n && (text[end] != '>' || quoted)) {
        if (text[end] == '"') quoted = !quoted;
        ++end;
      }
      if (end >= n) break;
    }
    TFeedTag t;
    t.Pos = i;
    t.Len = end - i + 1;
    size_t b = i + 1;
    if (b < end && text[b] == '/') {
      t.Closing = true;
      ++b;
    }
    size_t e = b;
    while (e < end && text[e] != ' ' && text[e] != '\t' && text[e] != '\r' && text[e] != '\n' && text[e] != '/')
      ++e;
    t.Name = UpperCase(text.substr(b, e - b));
    t.SelfClosing = !t.Closing && end > i + 1 && text[end - 1] == '/';
    tags.push_back(std::move(t));
    i = text.find('<', end + 1);
  }
  return tags;
}

class TFeedDoc {
public:
  explicit TFeedDoc(const std::string& text) : FText(text), Tags(FeedTags(text)) {
    for (size_t i = 0; i < Tags.size(); ++i)
      if (Tags[i].Closing) FEnds[Tags[i].Name].push_back(i);
  }
  const std::string& FText;
  std::vector<TFeedTag> Tags;

  // The first end tag of the same name after tag i, or npos.
  size_t EndOf(size_t i) const {
    const auto it = FEnds.find(Tags[i].Name);
    if (it == FEnds.end()) return std::string::npos;
    const auto j = std::upper_bound(it->second.begin(), it->second.end(), i);
    return j == it->second.end() ? std::string::npos : *j;
  }
  // The raw text between the end of the start tag i and the start of its end tag.
  std::string Content(size_t i) const {
    if (Tags[i].SelfClosing) return "";
    const size_t j = EndOf(i);
    if (j == std::string::npos) return "";
    const size_t from = Tags[i].Pos + Tags[i].Len;
    return FText.substr(from, Tags[j].Pos - from);
  }
  std::string Text(size_t i) const { return FText.substr(Tags[i].Pos, Tags[i].Len); }
  std::string Attr(size_t i, const std::string& name) const { return GetOptionValue(Text(i), name); }
  // The index of the first start tag named name at or after from, or npos.
  size_t Find(const std::string& name, size_t from = 0, size_t to = std::string::npos) const {
    for (size_t i = from; i < Tags.size() && i < to; ++i)
      if (!Tags[i].Closing && Tags[i].Name == name) return i;
    return std::string::npos;
  }

private:
  std::map<std::string, std::vector<size_t>> FEnds;
};

void SetOnce(std::string& field, bool& seen, const std::string& value) {
  if (seen) return;
  field = value;
  seen = true;
}

// The fields of one item between the tags from and to (exclusive).
TRDFItemFormat ReadItem(const TFeedDoc& d, size_t from, size_t to, bool atom, bool rss1) {
  TRDFItemFormat item;
  bool title = false, link = false, desc = false, date = false, creator = false, category = false, alternate = false;
  for (size_t k = from; k < to && k < d.Tags.size(); ++k) {
    const TFeedTag& t = d.Tags[k];
    if (t.Closing) continue;
    const std::string& n = t.Name;
    if (n == "TITLE") {
      SetOnce(item.Title, title, d.Content(k));
    } else if (atom) {
      if (n == "LINK") {
        const std::string rel = UpperCase(d.Attr(k, "rel"));
        const bool isAlternate = rel.empty() || rel == "ALTERNATE";
        if (!link || (isAlternate && !alternate)) {
          item.Link = d.Attr(k, "href");
          link = true;
          alternate = isAlternate;
        }
      } else if (n == "CATEGORY") {
        std::string term = d.Attr(k, "term");
        if (term.empty()) term = d.Attr(k, "label");
        SetOnce(item.Category, category, term);
      } else if (n == "CONTENT") {
        SetOnce(item.Description, desc, d.Content(k));
      } else if (n == "UPDATED") {
        SetOnce(item.Date, date, d.Content(k));
      }
    } else if (n == "LINK") {
      SetOnce(item.Link, link, d.Content(k));
    } else if (n == "DESCRIPTION") {
      SetOnce(item.Description, desc, d.Content(k));
    } else if (rss1) {
      // The subject is the item's category: the title stays the title.
      if (n == "DC:SUBJECT") SetOnce(item.Category, category, d.Content(k));
      else if (n == "DC:DATE") SetOnce(item.Date, date, d.Content(k));
      else if (n == "DC:CREATOR") SetOnce(item.Creator, creator, d.Content(k));
    } else if (n == "PUBDATE") {
      SetOnce(item.Date, date, d.Content(k));
    }
  }
  return item;
}

std::string RemoveCData(const std::string& s) {
  return ReplaceAllText(ReplaceAllText(s, "<![CDATA[", ""), "]]>", "");
}

std::string TemplateText(const std::string& text, const std::string& file) {
  std::string content;
  if (!file.empty() && FileExists(file) && LoadTextFromFile(file, content)) return content;
  return text;
}

}  // namespace

std::string RFC822ToStamp(const std::string& date) {
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  std::vector<std::string> words;
  std::string w;
  for (char c : date + " ") {
    if (c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n') {
      if (!w.empty()) words.push_back(w);
      w.clear();
    } else {
      w += c;
    }
  }
  int day = -1, month = -1, year = -1;
  std::string time = "00:00:00";
  for (const auto& word : words) {
    long long n;
    if (day < 0) {
      if (StrToIntStrict(word, n) && n >= 1 && n <= 31) day = static_cast<int>(n);
      continue;  // the weekday (or anything else) before the day is passed over
    }
    if (month < 0) {
      for (int m = 0; m < 12; ++m)
        if (UpperCase(word.substr(0, 3)) == kMonths[m]) month = m + 1;
      if (month < 0) return "";
      continue;
    }
    if (year < 0) {
      if (!StrToIntStrict(word, n) || n < 0 || n > 9999) return "";
      // Two-digit years: 80 to 99 are the 1900s, the others this century.
      year = word.size() <= 2 ? static_cast<int>(n < 80 ? 2000 + n : 1900 + n) : static_cast<int>(n);
      continue;
    }
    if (word.find(':') != std::string::npos) time = word;
    break;
  }
  if (day < 0 || month < 0 || year < 0) return "";
  char buf[40];
  snprintf(buf, sizeof buf, "%04d/%02d/%02d", year, month, day);
  return std::string(buf) + " " + time;
}

bool TRDFFormat::Detect(const std::string& text) {
  const std::vector<TFeedTag> tags = FeedTags(text);
  for (size_t i = 0; i < tags.size(); ++i) {
    const std::string tag = text.substr(tags[i].Pos, tags[i].Len);
    if (UpperCase(tag.substr(0, 5)) != "<?XML") continue;
    XMLVersion = GetOptionValue(tag, "version");
    Encoding = GetOptionValue(tag, "encoding");
    Dialect = 1;
    if (i + 1 < tags.size()) {
      const std::string next = text.substr(tags[i + 1].Pos, tags[i + 1].Len);
      if (UpperCase(next.substr(0, 5)) == "<FEED") {
        Namespace = GetOptionValue(next, "xmlns");
        if (UpperCase(Namespace).find("ATOM") != std::string::npos) Dialect = 2;
      }
    }
    return true;
  }
  return false;
}

void TRDFFormat::Parse(const std::string& text) {
  Channels.clear();
  const TFeedDoc d(text);
  const size_t rss = d.Find("RSS");
  if (rss != std::string::npos) {
    const std::string v = d.Attr(rss, "version");
    if (!v.empty()) RSSVersion = v;
  }
  TRDFChannelFormat ch;
  const size_t n = d.Tags.size();
  if (Dialect == 2) {
    size_t end = n;
    for (size_t i = 0; i < n; ++i)
      if (d.Tags[i].Closing && d.Tags[i].Name == "FEED") {
        end = i;
        break;
      }
    bool title = false, link = false, updated = false, id = false;
    for (size_t i = 0; i < end; ++i) {
      const TFeedTag& t = d.Tags[i];
      if (t.Closing) continue;
      if (t.Name == "ENTRY") {
        const size_t e = std::min(d.EndOf(i), end);
        ch.Items.push_back(ReadItem(d, i + 1, e, true, false));
        i = e;
      } else if (t.Name == "TITLE") {
        SetOnce(ch.Title, title, d.Content(i));
      } else if (t.Name == "LINK") {
        if (UpperCase(d.Attr(i, "rel")) == "SELF") ch.SelfLink = d.Attr(i, "href");
        else SetOnce(ch.Link, link, d.Attr(i, "href"));
      } else if (t.Name == "UPDATED") {
        SetOnce(ch.Updated, updated, d.Content(i));
      } else if (t.Name == "ID") {
        SetOnce(ch.Id, id, d.Content(i));
      }
    }
  } else if (RSSVersion == "2.0" || RSSVersion == "1.0") {
    const bool rss1 = RSSVersion == "1.0";
    const size_t c0 = d.Find("CHANNEL");
    const size_t c1 = c0 == std::string::npos ? 0 : std::min(d.EndOf(c0), n);
    if (c0 != std::string::npos) ch.About = d.Attr(c0, "rdf:about");
    bool title = false, link = false, desc = false, lang = false, about = false;
    for (size_t i = 0; i < n; ++i) {
      const TFeedTag& t = d.Tags[i];
      if (t.Closing) continue;
      const bool item = t.Name == "ITEM" && (!rss1 || UpperCase(d.Text(i).substr(0, 10)) == "<ITEM RDF:");
      if (item) {
        const size_t e = std::min(d.EndOf(i), n);
        ch.Items.push_back(ReadItem(d, i + 1, e, false, rss1));
        if (rss1) ch.Items.back().About = d.Attr(i, "rdf:about");
        i = e;
        continue;
      }
      if (c0 == std::string::npos || i <= c0 || i >= c1) continue;
      if (t.Name == "TITLE") SetOnce(ch.Title, title, d.Content(i));
      else if (t.Name == "LINK") SetOnce(ch.Link, link, d.Content(i));
      else if (t.Name == "DESCRIPTION") SetOnce(ch.Description, desc, d.Content(i));
      else if (t.Name == "LANGUAGE" && !rss1) SetOnce(ch.Language, lang, d.Content(i));
      else if (t.Name == "ABOUT" && rss1 && ch.About.empty()) SetOnce(ch.About, about, d.Content(i));
      else if (t.Name == "RDF:LI" && rss1) {
        std::string r = d.Attr(i, "resource");
        if (r.empty()) r = d.Attr(i, "rdf:resource");
        ch.Resources.push_back(r);
      }
    }
  }
  Channels.push_back(std::move(ch));
}

std::string TRDFFormat::RenderItem(const TRDFItemFormat& item, const std::string& itemTemplate) const {
  const std::string date = Trim(RemoveCData(item.Date));
  const std::string stamp = Dialect != 2 && RSSVersion == "2.0" ? RFC822ToStamp(date) : date;
  // Text from another site: the date and link may carry no markup, the link only http(s).
  std::string link = Trim(RemoveCData(item.Link));
  if (!StartsText("http://", link) && !StartsText("https://", link)) link.clear();
  std::string title = RemoveCData(item.Title);
  if (EscapeTitle)
    title = ReplaceAll(ReplaceAll(ReplaceAll(ReplaceAll(title, "&", "&amp;"), "<", "&lt;"), ">", "&gt;"), "\"", "&quot;");
  std::string desc = RemoveCData(item.Description);
  if (StripDescription) desc = RemoveTags(desc);
  std::string line = ReplaceAllText(itemTemplate, "<shortdate>", Escape(stamp.substr(0, 10)));
  line = ReplaceAllText(line, "<link>", Escape(link));
  line = ReplaceAllText(line, "<title>", title);
  return ReplaceAllText(line, "<description>", desc);
}

void TRDFFormat::Render(size_t channel, TStringList& lines) const {
  lines.push_back(TemplateText(HeaderTemplate, HeaderFile));
  std::string items;
  if (channel < Channels.size()) {
    const std::string itemTemplate = TemplateText(ItemTemplate, ItemFile);
    int written = 0;
    for (const auto& item : Channels[channel].Items) {
      items += RenderItem(item, itemTemplate) + "\r\n";
      if (ItemLimit > 0 && ++written >= ItemLimit) break;
    }
  }
  lines.push_back(items);
  lines.push_back(TemplateText(FooterTemplate, FooterFile));
}
