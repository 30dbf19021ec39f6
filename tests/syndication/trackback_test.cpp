// Trackback pings received (TB), the pop-up list (TV) and the answer reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>

#include <sys/time.h>
#include <unistd.h>

#include "cgi_harness.h"
#include "store/DCSVList.h"
#include "store/articles.h"
#include "syndication/trackback.h"
#include "text/DString.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

bool Has(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

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
  for (const std::string& body : {Form({{"title", "t"}, {"blog_name", "b"}}), Form({{"url", "\r\n\t\""}})})
    EXPECT_EQ(Answer(id, body), kFailure) << body;
  EXPECT_EQ(Ping(id, "", -2, "GET").body, kFailure);
  // Only an article of the index can be pinged; the log id goes into the record as it is.
  for (const std::string& bad : {ArticleIdOf("2001/01/01 00:00:00"), std::string(), UpperCase(id), id.substr(1),
                                 id + "%22,%221%22%0D%0A%221", std::string("..%2Fcindex")})
    EXPECT_EQ(Answer(bad, ok), kFailure) << bad;
  inst.Remove("velmsystem/owner/style.txt");  // off by default
  EXPECT_EQ(Answer(id, ok), kFailure);
  // Hidden articles and articles of hidden categories answer as unknown ids do, and a blog
  // behind its view password takes no pings at all.
  inst.Write("velmsystem/owner/style.txt", "USETRACKBACK=1\r\n");
  inst.Write("velmsystem/owner/cindex.txt",
             MakeRecordLine({"c1", id, "2009/05/17 08:03:09", "2009/05/17 08:03:09", "題名", "0"}) + "\r\n" +
                 MakeRecordLine({"c2", other, "2009/05/18 10:00:00", "2009/05/18 10:00:00", "次", "1"}) + "\r\n");
  inst.Write("velmsystem/owner/category.txt", "\"c1\",\"一\",\"1\"\r\n\"c2\",\"二\",\"0\"\r\n");
  EXPECT_EQ(Answer(id, ok), kFailure);
  EXPECT_EQ(Answer(other, ok), kFailure);
  inst.Write("velmsystem/owner/category.txt", "\"c1\",\"一\",\"1\"\r\n\"c2\",\"二\",\"1\"\r\n");
  EXPECT_EQ(Answer(other, ok), kSuccess);
  inst.Write("velmsystem/owner/style.txt", "USETRACKBACK=1\r\nVIEWPASSWORD=pw\r\n");
  EXPECT_EQ(Answer(other, ok), kFailure);
  inst.Remove(kTbFile);
  SetUp();

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
  // Bytes that are not UTF-8 (a broken sequence, a lone lead byte at the end, NUL, controls) are
  // read in the code they look like and stored as UTF-8.
  for (const std::string& body : {std::string("url=http://x/4&title=a%0D%0Ab%09c%22d%00e&blog_name=%22%2C%22"),
                                  std::string("url=http://x/5&title=%E3%81&excerpt=%FF%FE&blog_name=abc%82"),
                                  std::string("url=http://x/6%E0&title=%83%75%83%8D%83%4F")})
    EXPECT_EQ(Answer(id, body), kSuccess) << body;
  const std::string stored = inst.Read(kTbFile);
  ASSERT_EQ(stored.compare(0, before.size(), before), 0);
  EXPECT_TRUE(IsValidUtf8(stored));
  TTrackBackList list;
  LoadTrackBackList(inst.AccountFolder(), id, list);
  ASSERT_EQ(list.size(), 6u);
  std::vector<std::string> got;
  for (const TTrackBack& t : list) got.push_back(t.url + " " + t.blogname + " " + t.title);
  EXPECT_EQ(got[0], kSite + " 日記 題");
  EXPECT_EQ(got[1], "http://x/2  abc");
  EXPECT_EQ(got[2], "http://x/3  short");
  EXPECT_EQ(got[3], "http://x/4 , " + std::string("abcd\0e", 6));
  EXPECT_EQ(got[5], "http://x/6?  ブログ");
}

// A ping is bounded: a body over 64 KB gets the failure answer unread, and each field is cut on
// a character boundary (blog name and title 255 bytes, excerpt and url 1,000).
TEST_F(TrackBack, PingsAreBounded) {
  const std::string big = "url=" + kSite + "&excerpt=" + std::string(64 * 1024, 'x');
  EXPECT_EQ(Ping(id, big).body, kFailure);
  EXPECT_FALSE(inst.Exists(kTbFile));
  const std::string kanji = "漢字";  // 6 bytes a character pair in UTF-8
  std::string longKanji;
  for (int i = 0; i < 400; ++i) longKanji += kanji;
  const std::string url = kSite + "/" + std::string(2000, 'u');
  EXPECT_EQ(Answer(id, Form({{"url", url}, {"title", longKanji}, {"blog_name", "x" + longKanji}, {"excerpt", longKanji}})),
            kSuccess);
  // The stored UTF-8 fields, as the quotes of the line part them.
  const std::string line = inst.Read(kTbFile);
  ASSERT_TRUE(line.size() > 4 && line.compare(line.size() - 3, 3, "\"\r\n") == 0);
  std::vector<std::string> f;
  for (size_t at = 1, end; (end = line.find('"', at)) != std::string::npos; at = end + 3) f.push_back(line.substr(at, end - at));
  ASSERT_EQ(f.size(), 8u);
  EXPECT_EQ(f[5].size(), 255u);  // 85 characters of 3 bytes
  EXPECT_EQ(f[4].size(), 253u);  // "x" and 84 characters: the 85th would not fit
  EXPECT_EQ(f[6].size(), 999u);
  EXPECT_EQ(f[7], url.substr(0, 1000));
  EXPECT_TRUE(IsValidUtf8(f[4] + f[5] + f[6]));
}

// A ping in another charset is converted to UTF-8 on receipt, from its declared charset or, when
// none is declared, from the detected code: nothing is lost and the list shows it readable.
TEST_F(TrackBack, PingsInOtherCharsetsAreStoredAsUtf8) {
  const std::string title = "タイトル", name = "東 京都";  // EUC-JP タイトル ends in 0xEB
  struct TCase {
    std::string Body, Type;
  } cases[] = {
      {"url=" + kSite + "&title=" + PercentEncode(SjisToEuc(title)) + "&blog_name=" + PercentEncode(SjisToEuc(name)), ""},
      {"url=" + kSite + "&title=" + PercentEncode(SjisToEuc(title)) + "&blog_name=" + PercentEncode(SjisToEuc(name)),
       "application/x-www-form-urlencoded; charset=EUC-JP"},
      {"url=" + kSite + "&title=" + PercentEncode(title) + "&blog_name=" + PercentEncode(name), ""},
      {"url=" + kSite + "&title=" + PercentEncode(title) + "&blog_name=" + PercentEncode(name),
       "application/x-www-form-urlencoded; charset=\"Shift_JIS\""},
      {"url=" + kSite + "&title=" + PercentEncode(SjisToJis(title)) + "&blog_name=" + PercentEncode(SjisToJis(name)), ""},
      {"url=" + kSite + "&title=" + PercentEncode(SjisToUtf8(title)) + "&blog_name=" + PercentEncode(SjisToUtf8(name)),
       "application/x-www-form-urlencoded; charset=utf-8"},
  };
  for (const TCase& k : cases) {
    inst.Remove(kTbFile);
    TCGIRun r;
    r.query = "demo+tb+" + id;
    r.method = "POST";
    r.body = k.Body;
    r.contentType = k.Type;
    EXPECT_EQ(inst.Run(r).body, kSuccess) << k.Type;
    TTrackBackList list;
    LoadTrackBackList(inst.AccountFolder(), id, list);
    ASSERT_EQ(list.size(), 1u) << k.Type;
    EXPECT_EQ(list[0].title, title) << k.Type;
    EXPECT_EQ(list[0].blogname, name) << k.Type;
    EXPECT_TRUE(Has(View(id), "<td style=\"color:black\">タイトル</td>")) << k.Type;
  }
}

// The list of one article and the counts of a page come from trackback.idx: thousands of pings
// of other articles are not read, and the index follows every new ping.
TEST_F(TrackBack, OneArticlesPingsThroughTheIndex) {
  std::string lines;
  for (int i = 0; i < 20000; ++i)
    lines += MakeRecordLine({"1", "2009/05/18 09:00:00", "20090518090000" + std::to_string(100 + i % 900), other, "b",
                             "t", std::string(1000, 'e'), kSite}) + "\r\n";
  lines += SjisToUtf8(MakeRecordLine({"0", "2009/05/18 09:00:01", "20090518090001abc", id, "名", "題", "抜", kSite})) + "\r\n";
  inst.Write(kTbFile, lines);
  utimes((inst.AccountFolder() + "trackback.txt").c_str(), nullptr);
  ::sleep(2);  // an index is kept only for a file that has been still for a moment
  EXPECT_TRUE(Has(View(id), "<td style=\"color:black\">題</td>"));
  ASSERT_TRUE(inst.Exists("velmsystem/owner/trackback.idx"));
  EXPECT_EQ(CountArticleTrackBacks(inst.AccountFolder(), {id, other, std::string(40, 'f')}), (std::vector<int>{1, 20000, 0}));
  // With the index in place a page of one article reads a few lines of the 21 MB file, not all of it.
  TCGIRun view;
  view.query = "demo+tv+" + id;
  view.measureMemory = true;
  const TCGIResult page = inst.Run(view);
  EXPECT_TRUE(Has(page.body, "<td style=\"color:black\">題</td>"));
  view.query = "demo+tv+" + std::string(40, '0');  // the same page without a ping to show
  EXPECT_LT(page.maxRssKb - inst.Run(view).maxRssKb, 4 * 1024);
  EXPECT_EQ(Answer(id, Form({{"url", kSite}, {"title", "二"}})), kSuccess);
  TTrackBackList list;
  LoadTrackBackList(inst.AccountFolder(), id, list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].title, "二");
  EXPECT_EQ(CountArticleTrackBacks(inst.AccountFolder(), {id})[0], 2);
}

}  // namespace
