// TCGIRequest against a controlled environment and a body from memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "gateway/cgi_request.h"

namespace {

class Request : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* v : {"REQUEST_METHOD", "QUERY_STRING", "CONTENT_TYPE", "HTTP_CONTENT_TYPE", "CONTENT_LENGTH",
                          "HTTP_CONTENT_LENGTH", "HTTP_COOKIE", "COOKIE", "REMOTE_ADDR", "HTTP_REMOTE_ADDR",
                          "HTTP_USER_AGENT", "USER_AGENT", "HTTP_REFERER"})
      unsetenv(v);
  }
  void TearDown() override {
    SetUp();
    for (FILE* f : files_) fclose(f);
  }
  // A request without argv words whose body is read from a stream holding bytes.
  TCGIRequest Make(const std::string& bytes = "") {
    FILE* f = tmpfile();
    fwrite(bytes.data(), 1, bytes.size(), f);
    rewind(f);
    files_.push_back(f);
    return TCGIRequest(0, nullptr, f);
  }
  std::vector<FILE*> files_;
};

TEST_F(Request, VariablesFallBackBetweenBothNames) {
  setenv("CONTENT_TYPE", "multipart/form-data; boundary=xyz", 1);
  setenv("HTTP_USER_AGENT", "", 1);  // empty counts as unset
  setenv("USER_AGENT", "agent", 1);
  setenv("HTTP_REMOTE_ADDR", "10.0.0.1", 1);
  TCGIRequest r = Make();
  EXPECT_EQ(r.ContentType(), "multipart/form-data; boundary=xyz");
  EXPECT_EQ(r.Variable("HTTP_USER_AGENT"), "agent");
  // The client's own values never come from another name, which a request header could fill.
  EXPECT_EQ(r.UserAgent(), "");
  EXPECT_EQ(r.RemoteAddr(), "");
  setenv("REMOTE_ADDR", std::string(2000, '1').c_str(), 1);
  EXPECT_EQ(r.RemoteAddr(), std::string(1023, '1'));
  setenv("HTTP_CONTENT_TYPE", "text/plain", 1);  // the first name wins when set
  EXPECT_EQ(r.ContentType(), "text/plain");

  for (const auto& [text, want] : {std::pair{"12", 12LL}, {"12x", -1}, {"", -1}, {"99999999999999999999999", -1}}) {
    setenv("CONTENT_LENGTH", text, 1);
    EXPECT_EQ(Make().ContentLength(), want) << text;
  }
  unsetenv("CONTENT_LENGTH");
  setenv("HTTP_CONTENT_LENGTH", "3", 1);
  EXPECT_EQ(Make("abc").ContentLength(), 3);

  setenv("HTTP_USER_AGENT", std::string(5000, 'u').c_str(), 1);
  EXPECT_EQ(ReadVariable1024("HTTP_USER_AGENT"), std::string(1023, 'u'));
  EXPECT_EQ(ReadVariable1024("HTTP_REFERER"), "");
}

TEST_F(Request, UrlDecodeKeepsWhatIsNotAnEscape) {
  for (const auto& [in, out] : {std::pair{"a+b%41%62%2b", "a bAb+"}, {"100%%", "100%"}, {"%%41", "%41"},
                                {"%", "%"}, {"%4", "%4"}, {"%zz%4g", "%zz%4g"}, {"表示", "表示"}})
    EXPECT_EQ(URLDecode(in), out) << in;
  EXPECT_EQ(URLDecode("%00x"), std::string("\0x", 2));
  EXPECT_EQ(SplitQueryWords("a++b%2B+"), (std::vector<std::string>{"a", "", "b+", ""}));
}

TEST_F(Request, BodyAndCookieFields) {
  const std::string body = "title=%95%5C%8E%A6&Body=a+b%26c&q=\"x&y\"&empty=&title=second";
  setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
  TCGIRequest r = Make(body);
  EXPECT_EQ(r.Content(), "");  // read when first wanted
  EXPECT_EQ(r.ContentFieldValue("TITLE"), "表示");  // first match, name without case
  EXPECT_EQ(r.Content(), body);
  EXPECT_EQ(r.ContentFieldValue("body"), "a b&c");
  EXPECT_EQ(r.ContentFieldValue("q"), "\"x&y\"");     // "&" inside quotes does not split
  EXPECT_EQ(r.ContentFieldValue("missing"), "");
  EXPECT_EQ(r.ContentFieldValue("empty"), "");
  EXPECT_EQ(r.ContentFieldValue("titl"), "");
  EXPECT_EQ(r.ContentFieldValue("title=%95"), "");
  EXPECT_EQ(r.ContentFields().size(), 5u);
  EXPECT_EQ(r.RawBody(), body);
  EXPECT_EQ(FieldValue({"titlex=1", "a=b=c"}, "a"), "b=c");  // the whole name, the first "="

  setenv("HTTP_COOKIE", "INNAME=owner; INPASS=x%2By,VIEW=a+b;  ;  spaced=1;flag;INPASS=second", 1);
  EXPECT_EQ(r.CookieFieldValue("inname"), "owner");
  EXPECT_EQ(r.CookieFieldValue("INPASS"), "x+y");
  EXPECT_EQ(r.CookieFields(), (std::vector<std::string>{"INNAME=owner", "INPASS=x+y", "VIEW=a b", "spaced=1",
                                                        "flag", "INPASS=second"}));
  unsetenv("HTTP_COOKIE");
  setenv("COOKIE", "A=1", 1);  // the fallback name
  EXPECT_EQ(Make().CookieFieldValue("a"), "1");
}

// Names are compared as decoded, escapes included; the value is the rest after the first "=".
TEST_F(Request, FieldNamesAsDecoded) {
  const std::string body = "%6Co%67in%6eame=x%3Dy&a%3Db=c&plus+name=1&%%=2&q\"&\"=3";
  setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
  TCGIRequest r = Make(body);
  EXPECT_EQ(r.ContentFieldValue("LOGINNAME"), "x=y");
  EXPECT_EQ(r.ContentFieldValue("a"), "b=c");
  EXPECT_EQ(r.ContentFieldValue("plus name"), "1");
  EXPECT_EQ(r.ContentFieldValue("%"), "2");
  EXPECT_EQ(r.ContentFieldValue("q\"&\""), "3");
  // The same answers as the field list.
  for (const char* name : {"loginname", "a", "plus name", "%", "q\"&\"", "none"})
    EXPECT_EQ(r.ContentFieldValue(name), FieldValue(r.ContentFields(), name)) << name;
}

// The body is read up to the announced length or the end of input, and not at all when no
// length, a negative one, or one beyond the command's limit is announced.
TEST_F(Request, BodyReadsOnlyWhatIsAnnouncedAndAllowed) {
  struct { const char* Length; long long Limit; const char* Raw; bool TooLarge; } cases[] = {
      {"1000000", -1, "a=1&b=2", false}, {"3", -1, "a=1", false}, {"-5", -1, "", false}, {nullptr, -1, "", false},
      {"7", 6, "", true}, {"7", 7, "a=1&b=2", false}};
  for (const auto& c : cases) {
    if (c.Length) setenv("CONTENT_LENGTH", c.Length, 1);
    else unsetenv("CONTENT_LENGTH");
    TCGIRequest r = Make("a=1&b=2");
    if (c.Limit >= 0) r.SetBodyLimit(c.Limit);
    const std::string at = std::string(c.Length ? c.Length : "none") + " limit " + std::to_string(c.Limit);
    EXPECT_EQ(r.BodyTooLarge(), c.TooLarge) << at;
    EXPECT_EQ(r.ContentFieldValue("a"), std::string(c.Raw).empty() ? "" : "1") << at;
    EXPECT_EQ(r.RawBody(), c.Raw) << at;
  }
}

}  // namespace
