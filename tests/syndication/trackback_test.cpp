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

const std::string kSuccess =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<response>\r\n<error>0</error>\r\n"
    "<message>Trackback Success</message>\r\n</response>\r\n";
const std::string kFailure =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<response>\r\n<error>1</error>\r\n"
    "<message>Trackback failed</message>\r\n</response>\r\n";
const std::string kTbFile = "velmsystem/owner/trackback.txt";

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
    id = ArticleIdOf("2009/05/17 08:03:09");
    other = ArticleIdOf("2009/05/18 10:00:00");
    inst.Write("velmsystem/owner/style.txt", "USETRACKBACK=1\r\n");
    inst.Write("velmsystem/owner/cindex.txt",
               MakeRecordLine({"c1", id, "2009/05/17 08:03:09", "2009/05/17 08:03:09", "題名", "1"}) + "\r\n" +
                   MakeRecordLine({"c1", other, "2009/05/18 10:00:00", "2009/05/18 10:00:00", "次", "1"}) + "\r\n");
  }
  TCGIResult Ping(const std::string& logId, const std::string& body, const std::string& method = "POST") {
    TCGIRun r;
    r.query = "demo+tb+" + logId;
    r.method = method;
    r.body = body;
    return inst.Run(r);
  }
  std::string Answer(const std::string& logId, const std::string& body) { return Ping(logId, body).body; }
  std::string View(const std::string& logId) {
    TCGIRun r;
    r.query = "demo+tv+" + logId;
    return inst.Run(r).body;
  }
  TStringList StoredLines() { return SplitLines(inst.Read(kTbFile)); }

  TTestInstall inst;
  std::string id, other;
  const std::string site = "http://127.0.0.1/blog/1";
};

TEST_F(TrackBack, AcceptedPingIsAppendedAsReceivedAndAnsweredInXML) {
  const time_t before = time(nullptr);
  const TCGIResult res = Ping(id, Form({{"title", "題名\"と\tタブ"}, {"excerpt", "本文\r\n二行"},
                                        {"url", site}, {"blog_name", "よその\"ブログ"}}));
  const time_t after = time(nullptr);
  EXPECT_EQ(res.body, kSuccess);
  EXPECT_EQ(res.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");

  TStringList lines = StoredLines();
  ASSERT_EQ(lines.size(), 1u);
  // Stored in UTF-8 as sent, quotes, tabs and breaks removed; read back through the system code page.
  EXPECT_NE(lines[0].find(SjisToUtf8("\",\"よそのブログ\",\"題名とタブ\",\"本文二行\",\"")), std::string::npos);
  TCSVList c;
  c.SetLine(Utf8ToSjis(lines[0]));
  ASSERT_EQ(c.Count(), 8);
  EXPECT_EQ(c.Item(0), "1");
  EXPECT_EQ(c.Item(3), id);
  EXPECT_EQ(c.Item(4), "よそのブログ");
  EXPECT_EQ(c.Item(5), "題名とタブ");
  EXPECT_EQ(c.Item(6), "本文二行");
  EXPECT_EQ(c.Item(7), site);
  // Received time now; the id is its 14 digits and three letters or digits.
  const time_t got = ToUnix(ParseStamp(c.Item(1)));
  EXPECT_TRUE(IsValidStamp(c.Item(1)) && got >= before && got <= after) << c.Item(1);
  const std::string tbId = c.Item(2);
  EXPECT_TRUE(tbId.size() == 17 && std::all_of(tbId.begin(), tbId.begin() + 14, ::isdigit) &&
              std::all_of(tbId.begin() + 14, tbId.end(), ::isalnum))
      << tbId;
  EXPECT_EQ(c.Item(2).substr(0, 14), FormatCompactStamp(ParseStamp(c.Item(1))));

  // The same url again is stored again, after the first; a file left without a final break is mended.
  inst.Write(kTbFile, lines[0]);
  EXPECT_EQ(Answer(id, Form({{"url", site}})), kSuccess);
  lines = StoredLines();
  ASSERT_EQ(lines.size(), 2u);
  c.SetLine(lines[1]);
  EXPECT_EQ(c.Item(7), site);
  EXPECT_EQ(c.Item(4) + c.Item(5) + c.Item(6), "");
}

TEST_F(TrackBack, RefusedPingsGetTheFailureAnswerAndStoreNothing) {
  const std::string ok = Form({{"title", "t"}, {"excerpt", "e"}, {"url", site}, {"blog_name", "b"}});
  EXPECT_EQ(Answer(id, Form({{"title", "t"}, {"excerpt", "e"}, {"blog_name", "b"}})), kFailure);  // no url
  EXPECT_EQ(Answer(id, Form({{"url", "\r\n\t\""}})), kFailure);  // nothing left of the url
  EXPECT_EQ(Answer(id, Form({{"url", "\"\x82"}}, true)), kFailure);
  EXPECT_EQ(Ping(id, "", "GET").body, kFailure);
  // Only an article of the index can be pinged; the log id goes into the record as it is.
  EXPECT_EQ(Answer(ArticleIdOf("2001/01/01 00:00:00"), ok), kFailure);
  for (const std::string& bad : std::vector<std::string>{"", UpperCase(id), id + "0", id.substr(1),
                                id + "%22,%221%22%0D%0A%221", "..%2Fcindex"})
    EXPECT_EQ(Answer(bad, ok), kFailure) << bad;
  EXPECT_FALSE(inst.Exists(kTbFile));

  inst.Write("velmsystem/owner/style.txt", "USETRACKBACK=0\r\n");
  EXPECT_EQ(Answer(id, ok), kFailure);
  inst.Remove("velmsystem/owner/style.txt");  // off by default
  EXPECT_EQ(Answer(id, ok), kFailure);
  EXPECT_FALSE(inst.Exists(kTbFile));
}

TEST_F(TrackBack, BlockListChecksUrlExcerptAndTitle) {
  inst.Write("velmsystem/owner/trackbackblock.txt", "\r\ncasino\r\nカジノ\r\na\r\n");
  // Decoded url, then blanks and ideographic blanks removed from excerpt and title, without case.
  EXPECT_EQ(Answer(id, Form({{"url", "http://x/%43ASINO"}}, true)), kFailure);
  EXPECT_EQ(Answer(id, Form({{"url", site}, {"title", "Ca sino"}})), kFailure);
  EXPECT_EQ(Answer(id, Form({{"url", site}, {"excerpt", "CA　SI NO"}})), kFailure);
  // Japanese words match UTF-8 pings as they are shown, and Shift_JIS ones as they stand.
  EXPECT_EQ(Answer(id, Form({{"url", site}, {"excerpt", "本物のカ ジノ"}})), kFailure);
  EXPECT_EQ(Answer(id, Form({{"url", site}, {"title", "カジノ"}}, true)), kFailure);
  EXPECT_FALSE(inst.Exists(kTbFile));
  // Not checked: the blog name; not matched: a word inside a double-byte character (ア is 83 41),
  // an empty line of the list.
  EXPECT_EQ(Answer(id, Form({{"url", site}, {"blog_name", "casino"}, {"title", "アイ"}})), kSuccess);
  EXPECT_EQ(StoredLines().size(), 1u);
}

TEST(TrackBackAnswer, ElementsWithoutRegardToCase) {
  std::string error, message;
  ReadTrackBackAnswer("<?xml?><Response><Error>1</ERROR><message>Ping Has Failed</Message></response>", error, message);
  EXPECT_EQ(error, "1");
  EXPECT_EQ(message, "Ping Has Failed");
  ReadTrackBackAnswer("<response><error>0</error></response>", error, message);
  EXPECT_EQ(error, "0");
  EXPECT_EQ(message, "");
  ReadTrackBackAnswer("<error>0<message>no close", error, message);
  EXPECT_EQ(error + message, "");
  // The first close tag of the body ends the text; one before the open tag gives nothing.
  ReadTrackBackAnswer("<error>2</error></error><message>a<b>c</message></message>", error, message);
  EXPECT_EQ(error, "2");
  EXPECT_EQ(message, "a<b>c");
  ReadTrackBackAnswer("</error><error>2</error></MESSAGE><message>m</message>", error, message);
  EXPECT_EQ(error + message, "");
}

TEST_F(TrackBack, ViewListsTheArticlesTrackbacksEscaped) {
  inst.Write("velmsystem/owner/style.txt",
             "USETRACKBACK=1\r\nCONTENTBACKGROUND=#fffff0\r\nCONTENTLOGCOLOR=navy\r\nCONTENTLOGSIZE=12px\r\n"
             "CONTENTTITLECOLOR=maroon\r\n");
  const std::string head =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<html lang=\"ja\"><head>\r\n"
      "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\">\r\n"
      "<meta http-equiv=\"content-style-type\" content=\"text/css\">\r\n<title>トラックバック</title>\r\n</head>\r\n"
      "<body style=\"background:#fffff0; color:navy; font-size:12px\">\r\n"
      "<a href=\"javascript:window.close()\" style=\"font-size:x-small\">[Close]</a><br><br>\r\n";
  EXPECT_EQ(View(id), head + "トラックバックはありません\r\n</body></html>\r\n");

  // A hidden line is listed too; other articles' lines and lines of 7 fields are not.
  inst.Write(kTbFile,
             SjisToUtf8(MakeRecordLine({"0", "2009/05/18 09:00:00", "20090518090000aB3", id, "日記",
                                        "<b>題</b>", "a&b <script>", "https://e.example/1?a=1&b=2"})) + "\r\n" +
                 MakeRecordLine({"1", "2009/05/18 09:01:00", "20090518090100zzz", other, "x", "y", "z", site}) +
                 "\r\n\"1\",\"2009/05/18 09:02:00\",\"id\",\"" + id + "\",\"b\",\"t\",\"e\"\r\n" +
                 // Shift_JIS written by hand, and a url that must not become a link.
                 MakeRecordLine({"1", "2009/05/18 09:03:00", "20090518090300Q9q", id, "<ブログ>", "t", "e",
                                 "javascript:alert(1)"}) + "\r\n");
  const std::string table =
      "<table border=\"1\" style=\"border:1px dotted silver; border-collapse:collapse; font-size:12px\">\r\n"
      "<tr><td>2009/05/18 09:00:00</td><td><a href=\"https://e.example/1?a=1&b=2\" target=\"20090518090000aB3\">"
      "日記</a></td><td style=\"color:maroon\">&lt;b&gt;題&lt;/b&gt;</td></tr>\r\n"
      "<tr><td colspan=\"3\" style=\"color:navy\">a&b &lt;script&gt;</td></tr>\r\n"
      "<tr><td colspan=\"3\" style=\"color:silver\">https://e.example/1?a=1&b=2</td></tr>\r\n"
      "<tr><td>2009/05/18 09:03:00</td><td>&lt;ブログ&gt;</td><td style=\"color:maroon\">t</td></tr>\r\n"
      "<tr><td colspan=\"3\" style=\"color:navy\">e</td></tr>\r\n"
      "<tr><td colspan=\"3\" style=\"color:silver\">javascript:alert(1)</td></tr>\r\n</table>\r\n";
  EXPECT_EQ(View(id), head + table + "</body></html>\r\n");
  EXPECT_EQ(View(""), head + "トラックバックはありません\r\n</body></html>\r\n");
  EXPECT_EQ(View(std::string(40, 'f')), head + "トラックバックはありません\r\n</body></html>\r\n");
}

TEST_F(TrackBack, PingsInUtf8AndShiftJisShowInTheList) {
  EXPECT_EQ(Answer(id, Form({{"url", site}, {"blog_name", "日本語ブログ"}, {"title", "表示・ソフト"}})), kSuccess);
  EXPECT_EQ(Answer(id, Form({{"url", site}, {"blog_name", "シフトJIS"}, {"title", "ソ"}}, true)), kSuccess);
  const std::string page = View(id);
  EXPECT_NE(page.find(">日本語ブログ</a></td><td style=\"color:black\">表示・ソフト</td>"), std::string::npos);
  EXPECT_NE(page.find(">シフトJIS</a></td><td style=\"color:black\">ソ</td>"), std::string::npos);
  const std::string stored = inst.Read(kTbFile);
  EXPECT_NE(stored.find(SjisToUtf8("日本語ブログ")), std::string::npos);
  EXPECT_NE(stored.find("シフトJIS"), std::string::npos);  // as it arrived
}


// Whatever a stranger sends, the answer is one of the two documents and every line of the file,
// the earlier ones included, still reads as one trackback of the article.
TEST_F(TrackBack, HostileInputNeverBreaksTheFile) {
  const std::string before = SjisToUtf8(MakeRecordLine({"1", "2009/05/18 09:00:00", "20090518090000aB3", id, "日記",
                                                        "題", "抜粋", site})) + "\r\n" +
                             MakeRecordLine({"1", "2009/05/18 09:01:00", "20090518090100xYz", id, "b", "t", "e", site}) +
                             "\r\n";
  inst.Write(kTbFile, before);
  auto run = [&](const std::string& body, long long length = -2) {
    TCGIRun r;
    r.query = "demo+tb+" + id;
    r.method = "POST";
    r.body = body;
    r.contentLength = length;
    return inst.Run(r).body;
  };
  EXPECT_EQ(run("", -1), kFailure);                                    // no body
  EXPECT_EQ(run("url=http://x/1&title=abc", -1), kFailure);            // no length: no body read
  EXPECT_EQ(run("url=http://x/2&title=abcdef", 24), kSuccess);         // longer than announced: "abc"
  EXPECT_EQ(run("url=http://x/3&title=short", 1000), kSuccess);        // shorter: read to its end
  EXPECT_EQ(run("url=http://x/4&title=a%0D%0Ab%09c%22d%00e&blog_name=%22%2C%22"), kSuccess);
  // Bytes that are not UTF-8: a broken sequence, Shift_JIS and EUC-JP ending in a lead-byte
  // value, UTF-8 mixed with Shift_JIS, a lone lead byte at the end.
  EXPECT_EQ(run("url=http://x/5&title=%E3%81&excerpt=%FF%FE&blog_name=abc%82"), kSuccess);
  EXPECT_EQ(run("url=http://x/6&blog_name=%83u&title=%E3%83%96&excerpt=%B4%C1%BB%FA"), kSuccess);
  EXPECT_EQ(run("url=http://x/7%E0&title=%83%75%83%8D%83%4F"), kSuccess);
  const std::string big(100 * 1024, 'x');
  EXPECT_EQ(run("url=http://x/8&excerpt=" + big), kSuccess);

  const std::string stored = inst.Read(kTbFile);
  ASSERT_EQ(stored.compare(0, before.size(), before), 0);
  TTrackBackList list;
  LoadTrackBackList(inst.AccountFolder(), id, list);
  ASSERT_EQ(list.size(), 9u);
  EXPECT_EQ(list[0].blogname, "日記");
  EXPECT_EQ(list[1].id, "20090518090100xYz");
  std::vector<std::string> urls;
  for (const TTrackBack& t : list) urls.push_back(t.url);
  EXPECT_EQ(urls, (std::vector<std::string>{site, site, "http://x/2", "http://x/3", "http://x/4", "http://x/5",
                                            "http://x/6", "http://x/7", "http://x/8"}));
  EXPECT_EQ(list[2].title, "abc");
  EXPECT_EQ(list[3].title, "short");
  EXPECT_EQ(list[4].title, std::string("abcd\0e", 6));
  EXPECT_EQ(list[4].blogname, ",");
  EXPECT_EQ(list[5].blogname, "abc");  // the lone lead byte went
  EXPECT_EQ(list[6].blogname + list[6].title, "ブ\xE3\x83");  // the closing lead-byte values went
  EXPECT_EQ(list[7].title, "ブログ");   // Shift_JIS as it arrived
  EXPECT_EQ(list[8].excerpt, big);
  EXPECT_EQ(SplitLines(stored).size(), 9u);
}

}  // namespace
