// The exact bytes of TCGIResponse: header block, cookies and the 500 answer.
#include <gtest/gtest.h>

#include "gateway/cgi_response.h"

namespace {

TEST(Response, NoHeaderBlockWithoutProtocol) {
  TCGIResponse r("");
  r.SetContent("<p>x</p>");
  r.Location = "http://a/";
  r.SetCustomHeader("Cache-Control", "no-cache;");
  EXPECT_EQ(r.Build(), "<p>x</p>");
}

TEST(Response, EveryHeaderKindInItsPlace) {
  TCGIResponse r("HTTP/1.0");
  r.StatusCode = 302;
  r.ReasonString = "Found";
  r.Location = "http://127.0.0.1/velm.exe?demo";
  r.Allow = "GET, POST";
  TCookie& a = r.AddCookie();
  a.Name = "INNAME";
  a.Value = "owner";
  TCookie& b = r.AddCookie();
  b.Name = "B";
  b.Value = "2";
  r.DerivedFrom = "d";
  r.Expires = 1796450100;       // 2026-12-05 05:55:00 UTC
  r.LastModified = 1796450100;
  r.Title = "t";
  r.WWWAuthenticate = "Basic realm=\"x\"";
  r.SetCustomHeader("Cache-Control", "no-cache;");
  r.SetCustomHeader("X-Two", "2");
  r.ContentVersion = "1";
  r.ContentEncoding = "gzip";
  r.ContentType = "application/xml";
  r.SetContent("body");
  EXPECT_EQ(r.Build(),
            "Status: 302 Found\r\n"
            "Location: http://127.0.0.1/velm.exe?demo\r\n"
            "Allow: GET, POST\r\n"
            "Set-Cookie: INNAME=owner\r\n"
            "Set-Cookie: B=2\r\n"
            "Derived-From: d\r\n"
            "Expires: Sat, 05 Dec 2026 05:55:00 GMT\r\n"
            "Last-Modified: Sat, 05 Dec 2026 05:55:00 GMT\r\n"
            "Title: t\r\n"
            "WWW-Authenticate: Basic realm=\"x\"\r\n"
            "Cache-Control: no-cache;\r\n"
            "X-Two: 2\r\n"
            "Content-Version: 1\r\n"
            "Content-Encoding: gzip\r\n"
            "Content-Type: application/xml\r\n"
            "Content-Length: 4\r\n"
            "Content:\r\n\r\n"
            "body");
}

TEST(Response, StatusTextNeedsReasonAndPositiveCode) {
  TCGIResponse r("HTTP/1.1");
  r.StatusCode = 404;
  EXPECT_EQ(r.Build().substr(0, 16), "Status: 200 OK\r\n");
  r.ReasonString = "Not Found";
  EXPECT_EQ(r.Build().substr(0, 23), "Status: 404 Not Found\r\n");
  r.StatusCode = 0;
  EXPECT_EQ(r.Build().substr(0, 16), "Status: 200 OK\r\n");
}

TEST(Response, ContentLengthFollowsContentOrStream) {
  TCGIResponse r("HTTP/1.1");
  r.SetContent("日本");  // four bytes in Shift_JIS
  EXPECT_NE(r.Build().find("Content-Length: 4\r\n"), std::string::npos);
  r.SetContent("");
  EXPECT_EQ(r.Build().find("Content-Length"), std::string::npos);

  TCGIResponse img("HTTP/1.1");
  img.ContentType = "image/jpeg";
  img.SetContentStream(std::string("\xFF\xD8\x00\x01\xFF\xD9", 6));
  std::string out = img.Build();
  EXPECT_NE(out.find("Content-Length: 6\r\n"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 6), std::string("\xFF\xD8\x00\x01\xFF\xD9", 6));

}

TEST(Response, CustomHeaderReplacesByNameWithoutCase) {
  TCGIResponse r("HTTP/1.1");
  r.SetCustomHeader("Content-Disposition", "attachment; filename=a.log");
  r.SetCustomHeader("X-Other", "1");
  r.SetCustomHeader("content-disposition", "attachment; filename=b.log");
  EXPECT_EQ(r.CustomHeaders().size(), 2u);
  EXPECT_EQ(r.CustomHeader("CONTENT-DISPOSITION"), "attachment; filename=b.log");
  EXPECT_EQ(r.Build(),
            "Status: 200 OK\r\nContent-Disposition: attachment; filename=b.log\r\nX-Other: 1\r\n"
            "Content-Type: text/html\r\nContent:\r\n\r\n");
}

TEST(Response, HeaderValuesCannotSplitTheResponse) {
  TCGIResponse r("HTTP/1.1");
  r.Location = "http://a/\r\nSet-Cookie: INPASS=evil";
  r.SetCustomHeader("X-A", "1\n2");
  const std::string out = r.Build();
  EXPECT_NE(out.find("Location: http://a/Set-Cookie: INPASS=evil\r\n"), std::string::npos);
  EXPECT_NE(out.find("X-A: 12\r\n"), std::string::npos);
}

TEST(Response, CookieHeaderValue) {
  TCookie c;
  c.Name = "INPASS";
  c.Value = "a b+c/表~";
  EXPECT_EQ(CookieHeaderValue(c), "INPASS=a+b%2bc%2f%95%5c%7e");
  c.Value = "AZaz09!$'()*-.@_";
  EXPECT_EQ(CookieHeaderValue(c), "INPASS=AZaz09!$'()*-.@_");

  c.Value = "x";
  c.Domain = "example.test";
  c.Path = "/cgi-bin/";
  c.Expires = 1796450100;
  c.Secure = true;
  EXPECT_EQ(CookieHeaderValue(c),
            "INPASS=x; domain=example.test; path=/cgi-bin/; expires=Sat, 05 Dec 2026 05:55:00 GMT; secure");
  c.Expires = 0;  // greater than -1: written
  EXPECT_NE(CookieHeaderValue(c).find("expires=Thu, 01 Jan 1970 00:00:00 GMT; "), std::string::npos);

  TCookie login;
  login.Name = "INNAME";
  login.Value = "owner";
  login.Path = "/";
  login.HttpOnly = true;
  login.SameSite = "Lax";
  EXPECT_EQ(CookieHeaderValue(login), "INNAME=owner; path=/; HttpOnly; SameSite=Lax");
  login.Secure = true;
  EXPECT_EQ(CookieHeaderValue(login), "INNAME=owner; path=/; secure; HttpOnly; SameSite=Lax");
  TCookie bare;
  EXPECT_EQ(CookieHeaderValue(bare), "=");
}

TEST(Response, InternalErrorAnswer) {
  const std::string page =
      "<html><head><title>Internal Server Error 500</title></head>\n"
      "<h1>Internal Server Error 500</h1><hr>\n"
      "<h1>サーバー内部エラー 500</h1><hr>\n"
      "Exception: EFoo<br>Message: bad thing<br><hr>例外 : EFoo<br>メッセージ : bad thing<br></html>";
  EXPECT_EQ(InternalErrorResponse("EFoo", "bad thing"),
            "Status: 500 bad thing\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(page.size()) + "\r\n\r\n" + page);
  // A message is shown as text and keeps the status line one line.
  const std::string odd = InternalErrorResponse("E", "<b>x</b>\r\nX: y");
  EXPECT_EQ(odd.substr(0, odd.find("\r\n")), "Status: 500 <b>x</b>X: y");
  EXPECT_NE(odd.find("Message: &lt;b&gt;x&lt;/b&gt;"), std::string::npos);
}

}  // namespace
