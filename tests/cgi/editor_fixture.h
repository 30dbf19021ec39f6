// The owner's pages through the real executable: logged-in posts, uploads and the store files
// they leave behind.
#pragma once
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "blog_fixture.h"
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
  std::vector<std::vector<std::string>> Records(const std::string& file) const { return RecordsOf(Inst.Read(Dir + file)); }
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

// "yyyy/mm/dd hh:nn:ss" stamps from `from` to now: a time the program took while a test ran.
inline bool StampSince(time_t from, const std::string& stamp) {
  for (time_t t = from; t <= time(nullptr) + 1; ++t)
    if (FormatStamp(FromUnix(t)) == stamp) return true;
  return false;
}

inline const std::string kLoginFailure = ErrorPage("ログイン名又はパスワードが間違っています");
