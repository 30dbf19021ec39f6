// A blog in a temporary installation: categories, articles and comments written as the store
// writes them, and requests of its pages.
#pragma once
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "cgi_harness.h"
#include "store/DCSVList.h"
#include "store/articles.h"
#include "text/DString.h"

class TBlogFixture {
public:
  TTestInstall Inst;
  const std::string Dir = "velmsystem/owner/";

  void Category(const std::string& id, const std::string& name, bool shown = true) {
    Inst.Write(Dir + "category.txt", Categories += "\"" + id + "\",\"" + name + "\",\"" + (shown ? "1" : "0") + "\"\r\n");
  }
  // Articles go in the order of their dates, oldest first, as the index keeps them.
  std::string Article(const std::string& category, const std::string& date, const std::string& title, const std::string& body,
                      bool visible = true, const std::string& update = "", std::string id = "") {
    if (id.empty()) id = ArticleIdOf(date);
    Index += "\"" + category + "\",\"" + id + "\",\"" + date + "\",\"" + (update.empty() ? date : update) + "\",\"" +
             title + "\",\"" + (visible ? "1" : "0") + "\"\r\n";
    Inst.Write(Dir + "cindex.txt", Index);
    Inst.Write(Dir + id + ".txt", body);
    return id;
  }
  void Comment(const std::string& category, const std::string& article, const std::string& name,
               const std::string& text, bool shown = true) {
    Comments += "\"" + category + "\",\"" + article + "\",\"c" + std::to_string(++CommentNo) +
                "\",\"2026/11/30 12:00:00\",\"" + name + "\",\"" + text + "\",\"" + (shown ? "0" : "1") +
                "\",\"127.0.0.1\"\r\n";
    Inst.Write(Dir + "comment.txt", Comments);
  }
  void Style(const std::string& lines) { Inst.Write(Dir + "style.txt", lines); }
  void Ini(const std::string& lines) { Inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\n" + lines); }

  TCGIResult Run(const std::string& query, const std::string& body = "", const std::string& cookie = "") const {
    TCGIRun r;
    r.query = query;
    r.method = body.empty() ? "GET" : "POST";
    r.body = body;
    r.cookie = cookie;
    return Inst.Run(r);
  }
  std::string Page(const std::string& query, const std::string& body = "", const std::string& cookie = "") const {
    return Run(query, body, cookie).body;
  }

private:
  std::string Categories, Index, Comments;
  int CommentNo = 0;
};

inline bool Has(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }
inline bool StartsWith(const std::string& s, const std::string& start) { return s.compare(0, start.size(), start) == 0; }
inline bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}
inline std::string Stamp(int day) { return "2026/11/" + TwoDigits(day) + " 10:00:00"; }

// The content cell of a page: from its opening line to the end of the cell.
inline std::string ContentCell(const std::string& page) {
  const size_t a = page.find("<td class=\"contentcell\">");
  const size_t b = a == std::string::npos ? a : page.find("\r\n</td>\r\n", a);
  return b == std::string::npos ? "" : page.substr(a, b + 9 - a);
}

// The subjects shown on a page, in order.
inline std::vector<std::string> Topics(const std::string& page) {
  std::vector<std::string> out;
  const std::string open = "<span class=\"logtopic\">";
  for (size_t p = page.find(open); p != std::string::npos; p = page.find(open, p + 1))
    out.push_back(page.substr(p + open.size(), page.find("</span>", p) - p - open.size()));
  return out;
}

using TFields = std::vector<std::pair<std::string, std::string>>;

// name=value pairs joined by "&", every byte but letters and digits percent-encoded.
inline std::string FormBody(const TFields& fields) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += '&';
    out += name + '=';
    for (unsigned char c : value) {
      if (isalnum(c)) out += static_cast<char>(c);
      else out += {'%', hex[c >> 4], hex[c & 15]};
    }
  }
  return out;
}

// The record lines of a data file, split into their fields.
inline std::vector<std::vector<std::string>> RecordsOf(const std::string& text) {
  std::vector<std::vector<std::string>> out;
  for (const std::string& line : SplitLines(text)) {
    TCSVList csv;
    csv.SetLine(line);
    std::vector<std::string> fields;
    for (int i = 0; i < csv.Count(); ++i) fields.push_back(csv.Item(i));
    out.push_back(fields);
  }
  return out;
}

// The settings cell of an owner's page: what follows the administration frame.
inline std::string SettingsCell(const std::string& page) {
  const std::string open = "</td><td class=\"settingcell\">\r\n";
  const size_t a = page.find(open);
  return a == std::string::npos ? "" : page.substr(a + open.size());
}

// The page of a request that failed before any page of the blog.
inline std::string ErrorPage(const std::string& message, const std::string& charset = "shift_jis") {
  return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
         "<meta http-equiv=\"content-type\" content=\"text/html; charset=" + charset +
         "\"><title>VELM SYSTEM ERROR</title></head><body><span style=\"color:red\">" + message + "</span></body></html>";
}
