// The owner's pages through the real executable: logged-in posts, uploads and the store files
// they leave behind.
#pragma once
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "blog_fixture.h"
#include "store/DCSVList.h"
#include "text/dates.h"

class TOwnerFixture : public TBlogFixture {
public:
  TOwnerFixture() { Category("c1", "日記"); }

  // A logged-in request; with a body it is a POST.
  TCGIResult Owner(const std::string& query, const std::string& body = "") const {
    return Run(query, body, Inst.LoginCookie());
  }
  std::string OwnerPage(const std::string& query, const std::string& body = "") const { return Owner(query, body).body; }

  // A multipart upload of one file with further fields.
  TCGIResult Upload(const std::string& query, const std::string& fileName, const std::string& data,
                    const std::vector<std::pair<std::string, std::string>>& fields = {}) const {
    const std::string b = "----velmTestBoundary";
    std::string body;
    for (const auto& [name, value] : fields)
      body += "--" + b + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    body += "--" + b + "\r\nContent-Disposition: form-data; name=\"uploadimage\"; filename=\"" + fileName +
            "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n--" + b + "--\r\n";
    TCGIRun r;
    r.query = query;
    r.method = "POST";
    r.body = body;
    r.contentType = "multipart/form-data; boundary=" + b;
    r.cookie = Inst.LoginCookie();
    return Inst.Run(r);
  }

  // The record lines of a data file of the account, split.
  std::vector<std::vector<std::string>> Records(const std::string& file) const {
    std::vector<std::vector<std::string>> out;
    for (const std::string& line : SplitLines(Inst.Read(Dir + file))) {
      TCSVList csv;
      csv.SetLine(line);
      std::vector<std::string> fields;
      for (int i = 0; i < csv.Count(); ++i) fields.push_back(csv.Item(i));
      out.push_back(fields);
    }
    return out;
  }
  std::vector<std::string> Lines(const std::string& rel) const { return SplitLines(Inst.Read(rel)); }
  // The names of the files in the account's image folder, sorted.
  std::vector<std::string> Images() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Root() + "images/demo")) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Root() const { return Inst.AccountFolder().substr(0, Inst.AccountFolder().size() - std::string(Dir).size()); }
};

// The settings cell of an owner's page: what follows the administration frame.
inline std::string SettingsCell(const std::string& page) {
  const std::string open = "</td><td class=\"settingcell\">\r\n";
  const size_t a = page.find(open);
  return a == std::string::npos ? "" : page.substr(a + open.size());
}

// "yyyy/mm/dd hh:nn:ss" stamps from `from` to now: a time the program took while a test ran.
inline bool StampSince(time_t from, const std::string& stamp) {
  for (time_t t = from; t <= time(nullptr) + 1; ++t)
    if (FormatStamp(FromUnix(t)) == stamp) return true;
  return false;
}

inline const std::string kLoginFailure =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
    "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\"><title>VELM SYSTEM ERROR</title>"
    "</head><body><span style=\"color:red\">ログイン名又はパスワードが間違っています</span></body></html>";
