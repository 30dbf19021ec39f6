// Update pings through the real executable: the UP, PW and SU pages, the files, a scripted ping server.
#include <gtest/gtest.h>
#include <unistd.h>

#include "blog_fixture.h"
#include "net/DBaseSocket.h"
#include "loopback_server.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

const std::string kPing = "UPDATEPINGTYPESTART=\"weblogUpdates\",\"1.0\",\"VELM PING\",\"text/xml\",\"UTF8\"\r\n"
                          "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>weblogUpdates.ping</methodName>"
                          "<params><param><value><VelmTitle></value></param>\r\n"
                          "<param><value><velmpath></value></param></params></methodCall>\r\n"
                          "UPDATEPINGTYPEEND\r\n";
const std::string kThanks =
    "<?xml version='1.0'?>\n<methodResponse><params><param><value><struct>\n"
    "<member><name>flerror</name><value><boolean>0</boolean></value></member>\n"
    "<member><name>message</name><value><string>Thanks for the ping.</string></value></member>\n"
    "</struct></value></param></params></methodResponse>\n";
const std::string kFault =
    "<?xml version='1.0'?><methodResponse><fault><value><struct>"
    "<member><name>faultCode</name><value><int>4</int></value></member>"
    "<member><name>faultString</name><value><string>Too <i>many</i> pings</string></value></member>"
    "</struct></value></fault></methodResponse>";

std::string Answer(const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string Frame(const std::string& page) {
  const size_t a = page.find("<td class=\"settingcell\">\r\n");
  const size_t b = page.rfind("\r\n</td></tr>\r\n</table></div></body></html>\r\n");
  return a == std::string::npos || b == std::string::npos ? "(no frame)" : page.substr(a + 26, b - a - 26);
}

std::string MinutesAgo(int minutes) { return FormatStamp(AddSeconds(Now(), -60LL * minutes - 5)) + "\r\n"; }

TEST(UpdatePing, PagesNeedTheLoginAndATypeAndShowTheSlots) {
  TBlogFixture blog;
  blog.Ini("");
  EXPECT_TRUE(Has(blog.Page("demo+up"), "ログイン名又はパスワードが間違っています"));
  const std::string cookie = blog.Inst.LoginCookie();
  EXPECT_EQ(Frame(blog.Page("demo+up", "", cookie)), "更新Pingタイプが未指定の為ご利用できません");
  EXPECT_EQ(Frame(blog.Page("demo+su", "x=1", cookie)), "更新Pingタイプが未指定の為ご利用できません");

  blog.Ini(kPing + "UPDATEPINGTYPESTART=\"Fixed\",\"1.1\",\"\",\"text/xml\",\"SJIS\",\"http://fixed.example/RPC2\"\r\n"
                   "<x/>\r\nUPDATEPINGTYPEEND\r\n");
  blog.Inst.Write(blog.Dir + "updateping.txt", "\"1\",\"http://a.example/?a=1&b=<2>\",\"weblogUpdates\"\r\n"
                                               "\"0\",\"\",\"Fixed\"\r\n\"bad line\"\r\n");
  const std::string last = MinutesAgo(20);
  blog.Inst.Write(blog.Dir + "lastupdateping.txt", last);
  const std::string page = Frame(blog.Page("demo+up", "", cookie));
  const std::string rows = page.substr(0, page.find("<tr><td>4</td>"));
  EXPECT_EQ(rows.substr(0, rows.find("<tr><td>1</td>")),
            "<span style=\"color:blue\">前回の送信日付 : " + last.substr(0, 19) +
                " (20 分)</span> 送信可能<br>\r\n"
                "<form style=\"margin:0px\" method=\"post\" action=\"./velm.exe?demo+pw\">\r\n"
                "<table border=\"1\" style=\"border-collapse:collapse; font-size:x-small\">\r\n"
                "<col style=\"text-align:right\"><col><col style=\"background-color:#f0f0f0\">\r\n"
                "<tr><td>No</td><td></td><td>更新Ping サーバ URL</td><td>書式</td></tr>\r\n");
  const std::string options = "<option value=\"\" style=\"color:silver\">更新Pingの方式を選択して下さい</option>";
  EXPECT_TRUE(Has(rows, "<tr><td>1</td><td><input type=\"checkbox\" name=\"upe0\" value=\"1\" checked></td>"
                        "<td><input type=\"text\" name=\"upu0\" value=\"http://a.example/?a=1&amp;b=&lt;2&gt;\" style=\"width:250px\"></td>"
                        "<td><select name=\"upf0\">" + options +
                        "<option value=\"weblogUpdates\" selected style=\"color:blue\">weblogUpdates</option>"
                        "<option value=\"Fixed\">Fixed</option></select></td></tr>"))
      << rows;
  EXPECT_TRUE(Has(rows, "<tr><td>2</td><td><input type=\"checkbox\" name=\"upe1\" value=\"1\"></td>"
                        "<td style=\"background-color:#f0fff0\">http://fixed.example/RPC2</td>"))
      << rows;
  EXPECT_TRUE(Has(rows, "<tr><td>3</td><td><input type=\"checkbox\" name=\"upe2\" value=\"1\"></td>"
                        "<td><input type=\"text\" name=\"upu2\" value=\"\" style=\"width:250px\"></td>"));
  EXPECT_TRUE(Has(page, "<tr><td>10</td>") && !Has(page, "<tr><td>11</td>"));
  EXPECT_TRUE(Has(page, "action=\"./velm.exe?demo+su\">\r\n<input type=\"submit\" value=\"更新Pingを送信\">"));

  // Five minutes after a send the limit of 15 leaves 10; the limit 0 hides the line.
  blog.Inst.Write(blog.Dir + "lastupdateping.txt", MinutesAgo(5));
  EXPECT_TRUE(Has(Frame(blog.Page("demo+up", "", cookie)), " (5 分)</span> 残り 10分<br>"));
  blog.Ini("UPDATEPINGSENDSPAMTIME=0\r\n" + kPing);
  EXPECT_TRUE(StartsWith(Frame(blog.Page("demo+up", "", cookie)), "<form style="));
}

TEST(UpdatePing, SaveWritesTenSlotsAndOnlyFromAPost) {
  TBlogFixture blog;
  blog.Ini(kPing);
  const std::string cookie = blog.Inst.LoginCookie();
  const std::string before = "\"1\",\"http://keep/\",\"weblogUpdates\"\r\n";
  blog.Inst.Write(blog.Dir + "updateping.txt", before);
  EXPECT_TRUE(Has(blog.Page("demo+pw", "", cookie), "name=\"upu0\" value=\"http://keep/\""));  // a visit shows the page
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "updateping.txt"), before);

  const std::string page =
      blog.Page("demo+pw", "upe0=1&upu0=http%3A%2F%2Fping.example%2FRPC2&upf0=weblogUpdates&upu1=%22a%0D%0Ab%22&upe2=0"
                           "&upf2=Other&upe9=1",
                cookie);
  EXPECT_EQ(Frame(page), "更新Pingの設定を更新しました。<br>更新Pingを送信する場合は再度「更新Ping」から実行を行って下さい。");
  std::string want = "\"1\",\"http://ping.example/RPC2\",\"weblogUpdates\"\r\n\"0\",\"ab\",\"\"\r\n\"0\",\"\",\"Other\"\r\n";
  for (int i = 3; i < 9; ++i) want += "\"0\",\"\",\"\"\r\n";
  want += "\"1\",\"\",\"\"\r\n";
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "updateping.txt"), want);
}

TEST(UpdatePing, SendContactsEachEnabledSlotAndRecordsTheTime) {
  TBlogFixture blog;
  std::vector<std::string> requests;
  TLoopbackServer server([&](TLoopbackPeer& p, int) {
    const std::string req = p.ReadRequest();
    server.Record(req);
    if (Has(req, "POST /thanks ")) p.Write(Answer(kThanks));
    else if (Has(req, "POST /fault ")) p.Write(Answer(kFault));
    else p.Write(Answer("plain <b>text</b>\nline 2"));
  });
  const int closed = ClosedLoopbackPort();
  blog.Ini("UPDATEPINGSENDSPAMTIME=0\r\nNETTIMEOUT=1\r\n" + kPing +
           "UPDATEPINGTYPESTART=\"Fixed\",\"1.0\",\"\",\"\",\"SJIS\",\"" + server.URL("/fault") +
           "\"\r\n<x><velmtitle></x>\r\nUPDATEPINGTYPEEND\r\n"
           // A second type of the same name: the slot keeps the address the first one gave it.
           "UPDATEPINGTYPESTART=\"Fixed\",\"1.0\",\"\",\"\",\"SJIS\",\"" + server.URL("/other") +
           "\"\r\n<y/>\r\nUPDATEPINGTYPEEND\r\n");
  blog.Inst.Write(blog.Dir + "title.txt", "テスト&ブログ\r\n");
  blog.Inst.Write(blog.Dir + "updateping.txt",
                  "\"1\",\"" + server.URL("/thanks") + "\",\"weblogUpdates\"\r\n"  // answered
                  "\"1\",\"\",\"Fixed\"\r\n"                                        // the type's fixed address
                  "\"1\",\"" + server.URL("/x") + "\",\"weblogupdates\"\r\n"        // no such type: skipped
                  "\"0\",\"" + server.URL("/off") + "\",\"weblogUpdates\"\r\n"      // off
                  "\"1\",\"" + server.URL("/garbage") + "\",\"weblogUpdates\"\r\n"
                  "\"1\",\"http://127.0.0.1:" + std::to_string(closed) + "/\",\"weblogUpdates\"\r\n");
  const std::string before = FormatStamp(Now()).substr(0, 16);
  const std::string out = Frame(blog.Page("demo+su", "go=1", blog.Inst.LoginCookie()));
  const std::string after = FormatStamp(Now()).substr(0, 16);
  EXPECT_TRUE(StartsWith(out, "<span style=\"color:blue\">前回の送信日付 : " + before) ||
              StartsWith(out, "<span style=\"color:blue\">前回の送信日付 : " + after)) << out;
  const std::string table = out.substr(out.find("<table"));
  EXPECT_EQ(table,
            "<table border=\"1\" style=\"font-size:x-small; border-collapse:collapse\" cellpadding=\"3\">"
            "<col style=\"text-align:right\"><col><col style=\"background-color:#f0f0f0\"><col><col>"
            "<tr><td>No</td><td>Name</td><td>Server</td><td>Result</td><td>Message</td></tr>"
            "<tr><td>1</td><td>weblogUpdates</td><td>" + server.URL("/thanks") +
                "</td><td>0</td><td>Thanks for the ping.</td></tr>"
                "<tr><td>2</td><td>Fixed</td><td>" + server.URL("/fault") + "</td><td>4</td><td>Too many pings</td></tr>"
                "<tr><td>2</td><td>Fixed</td><td>" + server.URL("/fault") + "</td><td>4</td><td>Too many pings</td></tr>"
                "<tr><td>5</td><td>weblogUpdates</td><td>" + server.URL("/garbage") +
                "</td><td></td><td><span style=\"color:blue; font-weight:bold\">plain &lt;b&gt;text&lt;/b&gt;<br>line 2<br>"
                "</span></td></tr>"
                "<tr><td>6</td><td>weblogUpdates</td><td>http://127.0.0.1:" + std::to_string(closed) +
                "/</td><td></td><td>No Status</td></tr></table>");
  const auto got = server.Recorded();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_TRUE(StartsWith(got[2], "POST /fault HTTP/1.0\r\n") && EndsWith(got[2], "\r\n\r\n<y/>")) << got[2];
  const std::string body = "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>weblogUpdates.ping</methodName>"
                           "<params><param><value>" + SjisToUtf8("テスト&ブログ") + "</value></param>\r\n"
                           "<param><value>http://127.0.0.1/velm.exe?demo</value></param></params></methodCall>";
  EXPECT_EQ(got[0], "POST /thanks HTTP/1.0\r\nUser-Agent: VELM PING\r\nContent-Type: text/xml\r\nHost: 127.0.0.1\r\n"
                    "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_EQ(got[1], "POST /fault HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: " +
                        std::to_string(std::string("<x>テスト&ブログ</x>").size()) + "\r\n\r\n<x>テスト&ブログ</x>");
  const std::string sent = blog.Inst.Read(blog.Dir + "lastupdateping.txt").substr(0, 16);
  EXPECT_TRUE(sent == before || sent == after) << sent;
}

// Servers that never answer share one deadline instead of taking one each.
TEST(UpdatePing, SilentServersShareOneDeadline) {
  TBlogFixture blog;
  TLoopbackServer server([](TLoopbackPeer& p, int) { p.Hold(); });
  blog.Ini("UPDATEPINGSENDSPAMTIME=0\r\nNETTIMEOUT=1\r\n" + kPing);
  std::string slots;
  for (int i = 0; i < 4; ++i) slots += "\"1\",\"" + server.URL("/") + "\",\"weblogUpdates\"\r\n";
  blog.Inst.Write(blog.Dir + "updateping.txt", slots);
  const long long start = MonotonicMs();
  const std::string out = blog.Page("demo+su", "go=1", blog.Inst.LoginCookie());
  EXPECT_LT(MonotonicMs() - start, 2500);
  EXPECT_TRUE(Has(out, "<tr><td>4</td><td>weblogUpdates</td>")) << out;
}

TEST(UpdatePing, TheThrottleRefusesWithoutContactingAnyServer) {
  TBlogFixture blog;
  TLoopbackServer server([](TLoopbackPeer& p, int) {
    p.ReadRequest();
    p.Write(Answer(kThanks));
  });
  blog.Ini(kPing);
  blog.Inst.Write(blog.Dir + "updateping.txt", "\"1\",\"" + server.URL() + "\",\"weblogUpdates\"\r\n");
  const std::string last = MinutesAgo(5);
  blog.Inst.Write(blog.Dir + "lastupdateping.txt", last);
  EXPECT_EQ(Frame(blog.Page("demo+su", "go=1", blog.Inst.LoginCookie())),
            "前回の送信から送信出来る時間を過ぎていません。 残り 10分");
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "lastupdateping.txt"), last);
  // No previous send: allowed at once, and the send is recorded.
  blog.Inst.Remove(blog.Dir + "lastupdateping.txt");
  EXPECT_TRUE(Has(blog.Page("demo+su", "go=1", blog.Inst.LoginCookie()), "<td>0</td><td>Thanks for the ping.</td>"));
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_EQ(Frame(blog.Page("demo+su", "go=1", blog.Inst.LoginCookie())),
            "前回の送信から送信出来る時間を過ぎていません。 残り 15分");
}

}  // namespace
