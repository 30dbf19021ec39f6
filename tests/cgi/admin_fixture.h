// The owner's pages of a blog in a temporary installation: posts with the login cookies, as
// plain forms or as multipart forms with a file.
#pragma once
#include <string>
#include <vector>

#include "blog_fixture.h"

struct TUpload {
  std::string field, fileName, bytes, contentType = "application/octet-stream";
};

class TAdminFixture : public TBlogFixture {
public:
  static constexpr const char* kBoundary = "----velmTestBoundary7MA4YWxk";

  // A request of the logged-in owner; a post when fields are given.
  TCGIResult Owner(const std::string& query, const TFields& fields = {}, const std::string& origin = "") const {
    TCGIRun r;
    r.query = query;
    r.cookie = Inst.LoginCookie();
    r.origin = origin;
    if (!fields.empty()) {
      r.method = "POST";
      r.body = FormBody(fields);
    }
    return Inst.Run(r);
  }
  std::string OwnerPage(const std::string& query, const TFields& fields = {}) const { return Owner(query, fields).body; }

  // A multipart post of the owner: text fields, then the files.
  TCGIResult OwnerUpload(const std::string& query, const TFields& fields, const std::vector<TUpload>& files,
                         const std::string& origin = "") const {
    std::string body;
    for (const auto& [name, value] : fields)
      body += std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
              "\r\n";
    for (const auto& f : files)
      body += std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + f.field + "\"; filename=\"" +
              f.fileName + "\"\r\nContent-Type: " + f.contentType + "\r\n\r\n" + f.bytes + "\r\n";
    body += std::string("--") + kBoundary + "--\r\n";
    TCGIRun r;
    r.query = query;
    r.cookie = Inst.LoginCookie();
    r.origin = origin;
    r.method = "POST";
    r.body = body;
    r.contentType = std::string("multipart/form-data; boundary=") + kBoundary;
    return Inst.Run(r);
  }

  std::string AccountFile(const std::string& name) const { return Inst.Read(Dir + name); }
  bool AccountHas(const std::string& name) const { return Inst.Exists(Dir + name); }
};

const std::string kPageEnd = "</td></tr></table></div></body></html>\r\n";
const std::string kLoginFailure = "ログイン名又はパスワードが間違っています";
const std::string kCrossSite = "他のサイトからの要求は受け付けません";
