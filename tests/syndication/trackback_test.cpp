// Trackback pings received (TB), the pop-up list (TV) and the answer reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>

#include "cgi_harness.h"
#include "store/DCSVList.h"
#include "store/articles.h"
#include "syndication/trackback.h"
#include "text/DString.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

const std::string kXml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<response>\r\n<error>";
const std::string kSuccess = kXml + "0</error>\r\n<message>Trackback Success</message>\r\n</response>\r\n";
const std::string kFailure = kXml + "1</error>\r\n<message>Trackback failed</message>\r\n</response>\r\n";
const std::string kTbFile = "velmsystem/owner/trackback.txt", kSite = "http://127.0.0.1/blog/1";

// A form body; values are given in the system code page and sent as UTF-8 unless raw.
std::string Form(const std::vector<std::pair<std::string, std::string>>& fields, bool raw = false) {
  std::string body;
  for (const auto& [name, value] : fields)
    body += (body.empty() ? "" : "&") + name + "=" + PercentEncode(raw ? value : SjisToUtf8(value));
  return body;
}

class TrackBack : public ::testing::Test {
protected:
  void SetUp() override {
    inst.Write("velmsystem/owner/style.txt", "USETRACKBACK=1\r\n");
    inst.Write("velmsystem/owner/cindex.txt",
               MakeRecordLine({"c1", id, "2009/05/17 08:03:09", "2009/05/17 08:03:09", "題名", "1"}) + "\r\n" +
                   MakeRecordLine({"c1", other, "2009/05/18 10:00:00", "2009/05/18 10:00:00", "次", "1"}) + "\r\n");
  }
  TCGIResult Ping(const std::string& logId, const std::string& body, long long length = -2, const char* method = "POST",
                  const char* command = "tb+") {
    TCGIRun r;
    r.query = "demo+" + (command + logId);
    r.method = method;
    r.body = body;
    r.contentLength = length;
    return inst.Run(r);
  }
  std::string Answer(const std::string& logId, const std::string& body) { return Ping(logId, body).body; }
  std::string View(const std::string& logId) { return Ping(logId, "", -2, "GET", "tv+").body; }

  TTestInstall inst;
  const std::string id = ArticleIdOf("2009/05/17 08:03:09"), other = ArticleIdOf("2009/05/18 10:00:00");
};

TEST_F(TrackBack, AcceptedPingIsAppendedAsReceived) {
  const time_t before = time(nullptr);
  const TCGIResult res = Ping(id, Form({{"title", "題名\"と\tタブ"}, {"excerpt", "本文\r\n二行"}, {"url", kSite},
                                        {"blog_name", "よその\"ブログ"}}));
  const time_t after = time(nullptr);
  EXPECT_EQ(res.body, kSuccess);
  EXPECT_EQ(res.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
  // Stored in UTF-8 as sent, quotes, tabs and breaks removed, with the time received and an id of
  // its 14 digits and three letters or digits.
  TStringList lines = SplitLines(inst.Read(kTbFile));
  ASSERT_EQ(lines.size(), 1u);
  TCSVList c;
  c.SetLine(lines[0]);
  const std::string stamp = c.Item(1), tbId = c.Item(2);
  EXPECT_EQ(lines[0], SjisToUtf8(MakeRecordLine({"1", stamp, tbId, id, "よそのブログ", "題名とタブ", "本文二行", kSite})));
  const time_t got = ToUnix(ParseStamp(stamp));
  EXPECT_TRUE(IsValidStamp(stamp) && got >= before && got <= after) << stamp;
  EXPECT_TRUE(tbId.size() == 17 && tbId.substr(0, 14) == FormatCompactStamp(ParseStamp(stamp)) &&
              std::all_of(tbId.begin() + 14, tbId.end(), ::isalnum)) << tbId;
  // The same url again is stored again, after the first; a file left without a final break is mended.
  inst.Write(kTbFile, lines[0]);
  EXPECT_EQ(Answer(id, Form({{"url", kSite}})), kSuccess);
  lines = SplitLines(inst.Read(kTbFile));
  ASSERT_EQ(lines.size(), 2u);
  c.SetLine(lines[1]);
  EXPECT_EQ(c.Item(4) + c.Item(5) + c.Item(6) + "|" + c.Item(7), "|" + kSite);
}

TEST_F(TrackBack, RefusedPingsAndTheBlockList) {
  const std::string ok = Form({{"title", "t"}, {"excerpt", "e"}, {"url", kSite}, {"blog_name", "b"}});
  // No url, nothing left of the url, no POST.
  for (const std::string& body :
       {Form({{"title", "t"}, {"blog_name", "b"}}), Form({{"url", "\r\n\t\""}}), Form({{"url", "\"\x82"}}, true)})
    EXPECT_EQ(Answer(id, body), kFailure) << body;
  EXPECT_EQ(Ping(id, "", -2, "GET").body, kFailure);
  // Only an article of the index can be pinged; the log id goes into the record as it is.
  for (const std::string& bad : {ArticleIdOf("2001/01/01 00:00:00"), std::string(), UpperCase(id), id.substr(1),
                                 id + "%22,%221%22%0D%0A%221", std::string("..%2Fcindex")})
    EXPECT_EQ(Answer(bad, ok), kFailure) << bad;
  inst.Remove("velmsystem/owner/style.txt");  // off by default
  EXPECT_EQ(Answer(id, ok), kFailure);

  // Blocked: the decoded url, then excerpt and title without blanks or ideographic blanks, without
  // case; Japanese words match UTF-8 pings as they are shown, and Shift_JIS ones as they stand.
  inst.Write("velmsystem/owner/style.txt", "USETRACKBACK=1\r\n");
  inst.Write("velmsystem/owner/trackbackblock.txt", "\r\ncasino\r\nカジノ\r\na\r\n");
  for (const std::string& body : {Form({{"url", "http://x/%43ASINO"}}, true), Form({{"url", kSite}, {"title", "Ca sino"}}),
                                  Form({{"url", kSite}, {"excerpt", "CA　SI NO"}}),
                                  Form({{"url", kSite}, {"excerpt", "本物のカ ジノ"}}),
                                  Form({{"url", kSite}, {"title", "カジノ"}}, true)})
    EXPECT_EQ(Answer(id, body), kFailure) << body;
  EXPECT_FALSE(inst.Exists(kTbFile));
  // Not checked: the blog name; not matched: a word inside a double-byte character (ア is 83 41),
  // an empty line of the list.
  EXPECT_EQ(Answer(id, Form({{"url", kSite}, {"blog_name", "casino"}, {"title", "アイ"}})), kSuccess);
}

TEST(TrackBackAnswer, ElementsWithoutRegardToCase) {
  auto read = [](const std::string& body) {
    std::string error = "x", message = "x";
    ReadTrackBackAnswer(body, error, message);
    return error + "|" + message;
  };
  EXPECT_EQ(read("<?xml?><Response><Error>1</ERROR><message>Ping Has Failed</Message></response>"), "1|Ping Has Failed");
  EXPECT_EQ(read("<response><error>0</error></response>"), "0|");
  EXPECT_EQ(read("<error>0<message>no close"), "|");
  // The first close tag of the body ends the text; one before the open tag gives nothing.
  EXPECT_EQ(read("<error>2</error></error><message>a<b>c</message></message>"), "2|a<b>c");
  EXPECT_EQ(read("</error><error>2</error></MESSAGE><message>m</message>"), "|");
}

TEST_F(TrackBack, ViewListsTheArticlesTrackbacksEscaped) {
  inst.Write("velmsystem/owner/style.txt", "USETRACKBACK=1\r\nCONTENTBACKGROUND=#fffff0\r\nCONTENTLOGCOLOR=navy\r\n"
                                           "CONTENTLOGSIZE=12px\r\nCONTENTTITLECOLOR=maroon\r\n");
  const std::string head =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<html lang=\"ja\"><head>\r\n"
      "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\">\r\n"
      "<meta http-equiv=\"content-style-type\" content=\"text/css\">\r\n<title>トラックバック</title>\r\n</head>\r\n"
      "<body style=\"background:#fffff0; color:navy; font-size:12px\">\r\n"
      "<a href=\"javascript:window.close()\" style=\"font-size:x-small\">[Close]</a><br><br>\r\n";
  EXPECT_EQ(View(id), head + "トラックバックはありません\r\n</body></html>\r\n");
  // A hidden line is listed too; other articles' lines and lines of 7 fields are not.
  inst.Write(kTbFile, SjisToUtf8(MakeRecordLine({"0", "2009/05/18 09:00:00", "20090518090000aB3", id, "日記", "<b>題</b>",
                                                 "a&b <script>", "https://e.example/1?a=1&b=2"})) + "\r\n" +
                          MakeRecordLine({"1", "2009/05/18 09:01:00", "20090518090100zzz", other, "x", "y", "z", kSite}) +
                          "\r\n\"1\",\"2009/05/18 09:02:00\",\"id\",\"" + id + "\",\"b\",\"t\",\"e\"\r\n" +
                          // Shift_JIS written by hand, and a url that must not become a link.
                          MakeRecordLine({"1", "2009/05/18 09:03:00", "20090518090300Q9q", id, "<ブログ>", "t", "e",
                                          "javascript:alert(1)"}) + "\r\n");
  EXPECT_EQ(View(id), head +
      "<table border=\"1\" style=\"border:1px dotted silver; border-collapse:collapse; font-size:12px\">\r\n"
      "<tr><td>2009/05/18 09:00:00</td><td><a href=\"https://e.example/1?a=1&b=2\" target=\"20090518090000aB3\">"
      "日記</a></td><td style=\"color:maroon\">&lt;b&gt;題&lt;/b&gt;</td></tr>\r\n"
      "<tr><td colspan=\"3\" style=\"color:navy\">a&b &lt;script&gt;</td></tr>\r\n"
      "<tr><td colspan=\"3\" style=\"color:silver\">https://e.example/1?a=1&b=2</td></tr>\r\n"
      "<tr><td>2009/05/18 09:03:00</td><td>&lt;ブログ&gt;</td><td style=\"color:maroon\">t</td></tr>\r\n"
      "<tr><td colspan=\"3\" style=\"color:navy\">e</td></tr>\r\n"
      "<tr><td colspan=\"3\" style=\"color:silver\">javascript:alert(1)</td></tr>\r\n</table>\r\n</body></html>\r\n");
  EXPECT_EQ(View(std::string(40, 'f')), head + "トラックバックはありません\r\n</body></html>\r\n");
}

// Whatever a stranger sends, the answer is one of the two documents and every line of the file,
// the earlier ones included, still reads as one trackback of the article.
TEST_F(TrackBack, HostileInputNeverBreaksTheFile) {
  const std::string before = SjisToUtf8(MakeRecordLine({"1", "2009/05/18 09:00:00", "20090518090000aB3", id, "日記",
                                                        "題", "抜粋", kSite})) + "\r\n";
  inst.Write(kTbFile, before);
  EXPECT_EQ(Ping(id, "", -1).body, kFailure);                                    // no body
  EXPECT_EQ(Ping(id, "url=http://x/1&title=abc", -1).body, kFailure);           // no length: no body read
  EXPECT_EQ(Ping(id, "url=http://x/2&title=abcdef", 24).body, kSuccess);        // longer than announced: "abc"
  EXPECT_EQ(Ping(id, "url=http://x/3&title=short", 1000).body, kSuccess);       // shorter: read to its end
  const std::string big(100 * 1024, 'x');
  // Bytes that are not UTF-8: a broken sequence, Shift_JIS and EUC-JP ending in a lead-byte
  // value, UTF-8 mixed with Shift_JIS, a lone lead byte at the end.
  for (const std::string& body : {std::string("url=http://x/4&title=a%0D%0Ab%09c%22d%00e&blog_name=%22%2C%22"),
                                  std::string("url=http://x/5&title=%E3%81&excerpt=%FF%FE&blog_name=abc%82"),
                                  std::string("url=http://x/6&blog_name=%83u&title=%E3%83%96&excerpt=%B4%C1%BB%FA"),
                                  std::string("url=http://x/7%E0&title=%83%75%83%8D%83%4F"), "url=http://x/8&excerpt=" + big})
    EXPECT_EQ(Answer(id, body), kSuccess) << body.substr(0, 80);

  const std::string stored = inst.Read(kTbFile);
  ASSERT_EQ(stored.compare(0, before.size(), before), 0);
  EXPECT_EQ(SplitLines(stored).size(), 8u);
  TTrackBackList list;
  LoadTrackBackList(inst.AccountFolder(), id, list);
  ASSERT_EQ(list.size(), 8u);
  std::vector<std::string> got;
  for (const TTrackBack& t : list) got.push_back(t.url + " " + t.blogname + " " + t.title);
  EXPECT_EQ(got, (std::vector<std::string>{kSite + " 日記 題", "http://x/2  abc", "http://x/3  short",
                                           "http://x/4 , " + std::string("abcd\0e", 6), "http://x/5 abc " + list[4].title,
                                           "http://x/6 ブ \xE3\x83", "http://x/7  ブログ", "http://x/8  "}));
  EXPECT_EQ(list[7].excerpt, big);
}

}  // namespace
