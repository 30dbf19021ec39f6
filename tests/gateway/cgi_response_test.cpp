// The exact bytes of TCGIResponse: header block, cookies and the 500 answer.
#include <gtest/gtest.h>

#include "gateway/cgi_response.h"

namespace {

TEST(Response, HeadersInTheirPlaceOnlyWithAProtocol) {
  TCGIResponse r("HTTP/1.0");
  r.StatusCode = 302;
  r.ReasonString = "Found";
  r.Location = "http://127.0.0.1/velm.exe?demo";
  for (const auto& [name, value] : {std::pair{"INNAME", "owner"}, {"B", "2"}}) {
    TCookie& c = r.AddCookie();
    c.Name = name;
    c.Value = value;
  }
  r.Expires = r.LastModified = 1796450100;  // 2026-12-05 05:55:00 UTC
  r.SetCustomHeader("Content-Disposition", "attachment; filename=a.log");
  r.SetCustomHeader("X-Two", "2");
  r.SetCustomHeader("content-disposition", "attachment; filename=b.log");  // replaced by name without case
  r.ContentType = "application/xml";
  r.SetContent("日本");  // four bytes in Shift_JIS
  EXPECT_EQ(r.Build(), "Status: 302 Found\r\nLocation: http://127.0.0.1/velm.exe?demo\r\n"
                       "Set-Cookie: INNAME=owner\r\nSet-Cookie: B=2\r\nExpires: Sat, 05 Dec 2026 05:55:00 GMT\r\n"
                       "Last-Modified: Sat, 05 Dec 2026 05:55:00 GMT\r\nContent-Disposition: attachment; filename=b.log\r\n"
                       "X-Two: 2\r\nContent-Type: application/xml\r\nContent-Length: 4\r\nContent:\r\n\r\n日本");
  r.StatusCode = 0;  // a code needs its reason, and a reason a positive code
  EXPECT_EQ(r.Build().substr(0, 16), "Status: 200 OK\r\n");

  TCGIResponse bare("");  // no protocol: the content alone
  bare.SetContent("<p>x</p>");
  bare.Location = "http://a/";
  EXPECT_EQ(bare.Build(), "<p>x</p>");
  TCGIResponse empty("HTTP/1.1");  // no content: no length
  EXPECT_EQ(empty.Build(), "Status: 200 OK\r\nContent-Type: text/html\r\nContent:\r\n\r\n");
  const std::string jpeg("\xFF\xD8\x00\x01\xFF\xD9", 6);
  empty.SetContentStream(jpeg);
  EXPECT_EQ(empty.Build(), "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 6\r\nContent:\r\n\r\n" + jpeg);
}

TEST(Response, HeaderValuesCannotSplitTheResponse) {
  TCGIResponse r("HTTP/1.1");
  r.Location = "http://a/\r\nSet-Cookie: INPASS=evil";
  r.SetCustomHeader("X-A", "1\n2");
  const std::string out = r.Build();
  EXPECT_NE(out.find("Location: http://a/Set-Cookie: INPASS=evil\r\n"), std::string::npos);
  EXPECT_NE(out.find("X-A: 12\r\n"), std::string::npos);
  TCookie c;
  c.Name = "INPASS";
  c.Value = "a b+c/表~\r\n;AZaz09!$'()*-.@_";
  EXPECT_EQ(CookieHeaderValue(c), "INPASS=a+b%2bc%2f%95%5c%7e%0d%0a%3bAZaz09!$'()*-.@_");
  c.Value = "x";
  c.Domain = "example.test";
  c.Path = "/cgi-bin/";
  c.Expires = 0;  // greater than -1: written
  c.Secure = c.HttpOnly = true;
  c.SameSite = "Lax";
  EXPECT_EQ(CookieHeaderValue(c), "INPASS=x; domain=example.test; path=/cgi-bin/; "
                                  "expires=Thu, 01 Jan 1970 00:00:00 GMT; secure; HttpOnly; SameSite=Lax");
  // The 500 answer shows a message as text and keeps the status line one line.
  const std::string odd = InternalErrorResponse("E", "<b>x</b>\r\nX: y");
  EXPECT_EQ(odd.substr(0, odd.find("\r\n")), "Status: 500 <b>x</b>X: y");
  EXPECT_NE(odd.find("Message: &lt;b&gt;x&lt;/b&gt;"), std::string::npos);
}

TEST(Response, InternalErrorAnswer) {
  const std::string page =
      "<html><head><title>Internal Server Error 500</title></head>\n"
      "<h1>Internal Server Error 500</h1><hr>\n"
      "<h1>サーバー内部エラー 500</h1><hr>\n"
      "Exception: EFoo<br>Message: bad thing<br><hr>例外 : EFoo<br>メッセージ : bad thing<br></html>";
  EXPECT_EQ(InternalErrorResponse("EFoo", "bad thing"),
            "Status: 500 bad thing\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) +
                "\r\n\r\n" + page);
}

}  // namespace
