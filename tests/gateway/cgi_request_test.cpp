// TCGIRequest against a controlled environment and a body from memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "gateway/cgi_request.h"

namespace {

const char* const kVars[] = {"REQUEST_METHOD", "SERVER_PROTOCOL", "QUERY_STRING", "CONTENT_TYPE",
                             "HTTP_CONTENT_TYPE", "CONTENT_LENGTH", "HTTP_CONTENT_LENGTH", "HTTP_COOKIE",
                             "COOKIE", "REMOTE_ADDR", "HTTP_REMOTE_ADDR", "HTTP_USER_AGENT",
                             "USER_AGENT", "HTTP_REFERER", "HTTP_HOST", "HOST"};

class Request : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* v : kVars) unsetenv(v);
  }
  void TearDown() override {
    for (const char* v : kVars) unsetenv(v);
    for (FILE* f : files_) fclose(f);
  }
  // A stream holding bytes; the request reads its body from it.
  FILE* Body(const std::string& bytes) {
    FILE* f = tmpfile();
    fwrite(bytes.data(), 1, bytes.size(), f);
    rewind(f);
    files_.push_back(f);
    return f;
  }
  std::vector<FILE*> files_;
};

char* Arg(const char* s) { return const_cast<char*>(s); }

TEST_F(Request, VariablesFallBackBetweenBothNames) {
  setenv("CONTENT_TYPE", "multipart/form-data; boundary=xyz", 1);
  setenv("HTTP_USER_AGENT", "", 1);  // empty counts as unset
  setenv("USER_AGENT", "agent", 1);
  setenv("HTTP_REMOTE_ADDR", "10.0.0.1", 1);
  setenv("HTTP_HOST", "example.test", 1);
  setenv("HOST", "other", 1);
  TCGIRequest r(0, nullptr, Body(""));
  EXPECT_EQ(r.ContentType(), "multipart/form-data; boundary=xyz");  // HTTP_CONTENT_TYPE -> CONTENT_TYPE
  EXPECT_EQ(r.UserAgent(), "agent");
  EXPECT_EQ(r.RemoteAddr(), "10.0.0.1");   // REMOTE_ADDR -> HTTP_REMOTE_ADDR
  EXPECT_EQ(r.Host(), "example.test");     // the first name wins when set
  EXPECT_EQ(r.Method(), "");
  setenv("HTTP_CONTENT_TYPE", "text/plain", 1);
  EXPECT_EQ(r.ContentType(), "text/plain");
}

TEST_F(Request, ContentLengthIsADecimalOrMinusOne) {
  const std::pair<const char*, long long> cases[] = {
      {"12", 12}, {"abc", -1}, {"12x", -1}, {"", -1}, {"99999999999999999999999", -1}};
  for (const auto& [text, want] : cases) {
    setenv("CONTENT_LENGTH", text, 1);
    TCGIRequest r(0, nullptr, Body(""));
    EXPECT_EQ(r.ContentLength(), want) << text;
  }
  unsetenv("CONTENT_LENGTH");
  EXPECT_EQ(TCGIRequest(0, nullptr, Body("")).ContentLength(), -1);
  setenv("HTTP_CONTENT_LENGTH", "3", 1);
  EXPECT_EQ(TCGIRequest(0, nullptr, Body("abc")).ContentLength(), 3);
}

TEST_F(Request, WordsFromArgvOrFromTheQueryString) {
  setenv("QUERY_STRING", "ignored+words", 1);
  char* argv[] = {Arg("velm.exe"), Arg("demo"), Arg("sl"), Arg("a b"), Arg("4"), Arg("5"), nullptr};
  TCGIRequest a(6, argv, Body(""));
  EXPECT_EQ(a.Word(1), "demo");
  EXPECT_EQ(a.Word(3), "a b");
  EXPECT_EQ(a.Word(4), "4");
  EXPECT_EQ(a.Word(5), "");  // beyond four words: none
  EXPECT_EQ(a.Word(0), "");

  setenv("QUERY_STRING", "demo+sl+%8A%BF%2B+x%41%", 1);
  char* only[] = {Arg("velm.exe"), nullptr};
  TCGIRequest q(1, only, Body(""));
  EXPECT_EQ(q.Word(1), "demo");
  EXPECT_EQ(q.Word(2), "sl");
  EXPECT_EQ(q.Word(3), "\x8A\xBF+");  // bytes decoded as they are, "%2B" stays inside the word
  EXPECT_EQ(q.Word(4), "xA%");

  setenv("QUERY_STRING", "demo", 1);
  TCGIRequest one(1, only, Body(""));
  EXPECT_EQ(one.Word(1), "demo");
  EXPECT_EQ(one.Word(2), "");

  setenv("QUERY_STRING", "account=demo+x", 1);  // a query with "=" carries no words
  TCGIRequest withEq(1, only, Body(""));
  EXPECT_EQ(withEq.Word(1), "");
  EXPECT_EQ(withEq.Word(2), "");
}

TEST_F(Request, UrlDecodeKeepsWhatIsNotAnEscape) {
  EXPECT_EQ(URLDecode("a+b"), "a b");
  EXPECT_EQ(URLDecode("100%%"), "100%");
  EXPECT_EQ(URLDecode("%41%62%2b"), "Ab+");
  EXPECT_EQ(URLDecode("%"), "%");
  EXPECT_EQ(URLDecode("%4"), "%4");
  EXPECT_EQ(URLDecode("%zz%4g"), "%zz%4g");
  EXPECT_EQ(URLDecode("%%41"), "%41");
  EXPECT_EQ(URLDecode("%00x"), std::string("\0x", 2));
  EXPECT_EQ(URLDecode("表示"), "表示");  // Shift_JIS bytes pass through
  EXPECT_EQ(SplitQueryWords("a++b+"), (std::vector<std::string>{"a", "", "b", ""}));
  EXPECT_TRUE(SplitQueryWords("").empty());
}

TEST_F(Request, BodyFieldsAndRawBody) {
  const std::string body = "title=%95%5C%8E%A6&Body=a+b%26c&q=\"x&y\"&empty=&title=second";
  setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
  setenv("REQUEST_METHOD", "POST", 1);
  TCGIRequest r(0, nullptr, Body(body));
  EXPECT_EQ(r.Content(), body);
  EXPECT_EQ(r.ContentFieldValue("TITLE"), "表示");  // first match, name without case
  EXPECT_EQ(r.ContentFieldValue("body"), "a b&c");
  EXPECT_EQ(r.ContentFieldValue("q"), "\"x&y\"");     // "&" inside quotes does not split
  EXPECT_EQ(r.ContentFieldValue("empty"), "");
  EXPECT_EQ(r.ContentFieldValue("missing"), "");
  EXPECT_EQ(r.ContentFields().size(), 5u);
  EXPECT_EQ(FieldValue({"titlex=1", "a=b=c"}, "a"), "b=c");  // the whole name, the first "="
  EXPECT_EQ(r.RawBody(), body);
}

TEST_F(Request, ShortBodyEndsAtEndOfInput) {
  setenv("CONTENT_LENGTH", "1000000", 1);
  TCGIRequest r(0, nullptr, Body("a=1&b=2"));
  EXPECT_EQ(r.Content(), "a=1&b=2");
  EXPECT_EQ(r.RawBody(), "a=1&b=2");
  EXPECT_EQ(r.ContentFieldValue("b"), "2");

  // Only the announced bytes are read, the rest of the input stays unread.
  setenv("CONTENT_LENGTH", "3", 1);
  TCGIRequest cut(0, nullptr, Body("a=1&b=2"));
  EXPECT_EQ(cut.RawBody(), "a=1");

  // No length, or a negative one: no body at all.
  setenv("CONTENT_LENGTH", "-5", 1);
  EXPECT_EQ(TCGIRequest(0, nullptr, Body("a=1")).Content(), "");
  unsetenv("CONTENT_LENGTH");
  TCGIRequest none(0, nullptr, Body("a=1"));
  EXPECT_EQ(none.RawBody(), "");
  EXPECT_EQ(none.ContentFieldValue("a"), "");
}

TEST_F(Request, CookieFields) {
  setenv("HTTP_COOKIE", "INNAME=owner; INPASS=x%2By,VIEW=a+b;  ;  spaced=1;flag", 1);
  TCGIRequest r(0, nullptr, Body(""));
  EXPECT_EQ(r.CookieFieldValue("inname"), "owner");
  EXPECT_EQ(r.CookieFieldValue("INPASS"), "x+y");
  EXPECT_EQ(r.CookieFieldValue("VIEW"), "a b");
  EXPECT_EQ(r.CookieFieldValue("spaced"), "1");
  EXPECT_EQ(r.CookieFieldValue("flag"), "");
  EXPECT_EQ(r.CookieFields(), (std::vector<std::string>{"INNAME=owner", "INPASS=x+y", "VIEW=a b",
                                                        "spaced=1", "flag"}));

  setenv("HTTP_COOKIE", "INPASS=first; INPASS=second", 1);
  EXPECT_EQ(TCGIRequest(0, nullptr, Body("")).CookieFieldValue("INPASS"), "first");
  unsetenv("HTTP_COOKIE");
  setenv("COOKIE", "A=1", 1);  // the fallback name
  EXPECT_EQ(TCGIRequest(0, nullptr, Body("")).CookieFieldValue("a"), "1");
}

TEST_F(Request, ReadVariable1024) {
  EXPECT_EQ(ReadVariable1024("HTTP_USER_AGENT"), "");
  setenv("HTTP_USER_AGENT", std::string(5000, 'u').c_str(), 1);
  EXPECT_EQ(ReadVariable1024("HTTP_USER_AGENT"), std::string(1023, 'u'));
  setenv("HTTP_REFERER", "http://a/", 1);
  EXPECT_EQ(ReadVariable1024("HTTP_REFERER"), "http://a/");
}

TEST_F(Request, GarbageNeverCrashes) {
  std::mt19937 rng(1234);
  const std::string alphabet = "%+=&;,\" \t0123456789abcdefABCDEF\x81\x5C\xFF";
  char* only[] = {Arg("velm.exe"), nullptr};
  for (int round = 0; round < 300; ++round) {
    std::string s;
    int len = static_cast<int>(rng() % 40);
    for (int i = 0; i < len; ++i) s += alphabet[rng() % alphabet.size()];
    setenv("QUERY_STRING", s.c_str(), 1);
    setenv("HTTP_COOKIE", s.c_str(), 1);
    setenv("CONTENT_LENGTH", std::to_string(rng() % 60).c_str(), 1);
    TCGIRequest r(1, only, Body(s));
    r.CookieFieldValue("INPASS");
    r.ContentFieldValue(s.substr(0, 3));
    for (int w = 1; w <= 4; ++w) EXPECT_LE(r.Word(w).size(), s.size());
    EXPECT_LE(r.RawBody().size(), s.size());
  }
}

}  // namespace
