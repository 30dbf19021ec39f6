// What a new article sends: the trackback ping to another blog with every kind of answer, against
// a scripted peer on loopback; nothing is sent for an article that could not be stored. (The
// update pings of a save meet a real XML-RPC server in tests/e2e/editor_send_check.py.)
#include <gtest/gtest.h>

#include "editor_fixture.h"
#include "loopback_server.h"
#include "text/jconvert.h"

namespace {

std::string Answer(const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::string TrackBackAnswer(const std::string& error, const std::string& message) {
  return Answer("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<response>\r\n<Error>" + error + "</Error>\r\n<message>" +
                message + "</message>\r\n</response>\r\n");
}
// The fields of a form body, percent-decoded.
std::vector<std::pair<std::string, std::string>> FormFields(const std::string& body) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& part : SplitLines(ReplaceAll(body, "&", "\n"))) {
    const size_t eq = part.find('=');
    out.emplace_back(part.substr(0, eq), PercentDecode(part.substr(eq + 1)));
  }
  return out;
}

class Sending : public ::testing::Test {
protected:
  TOwnerFixture blog;
  std::string answer;
  TLoopbackServer server{[this](TLoopbackPeer& p, int) {
    server.Record(p.ReadRequest());
    p.Write(answer);
  }};
  std::string Save(const std::string& fields) { return SettingsCell(blog.OwnerPage("demo+ss", "category=c1&" + fields)); }
  std::string Body(const std::string& request) const { return request.substr(request.find("\r\n\r\n") + 4); }
};

TEST_F(Sending, TrackBackToAnotherBlog) {
  blog.Ini("RSSDESCLENGTH=10\r\nNETTIMEOUT=3\r\n");
  blog.Inst.Write(blog.Dir + "title.txt", "旅&日記\r\n");
  answer = TrackBackAnswer("0", "ok");
  std::string cell = Save("cvisible=1&subject=%93%FA%8BL%3C1%3E&trackback=" + server.URL("/tb/7"));
  const std::string id = blog.Records("cindex.txt").at(0).at(1);
  const std::string url = "http://127.0.0.1/velm.exe?demo+sl+" + id;
  EXPECT_EQ(cell, "記事を新規保存しました<br><br>トラックバック情報<br>トラックバック記事URL<br>" + url +
                      "<br><span style=\"color:blue\">トラックバックは正常に処理されました</span>\r\n"
                      "</td></tr></table></div></body></html>\r\n");
  auto got = server.Recorded();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(StartsWith(got[0], "POST /tb/7 HTTP/1.0\r\n"));
  EXPECT_TRUE(Has(got[0], "\r\nUser-Agent: VELM TRACKBACK AGENT\r\n"));
  EXPECT_TRUE(Has(got[0], "\r\nContent-Type: application/x-www-form-urlencoded; charset=utf-8;\r\n"));
  // The fields arrive whole in UTF-8: the "&" of the escaped title stays in it.
  using F = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(FormFields(Body(got[0])), (F{{"title", SjisToUtf8("日記&lt;1&gt;")}, {"excerpt", SjisToUtf8("日記&lt;1&...")},
                                         {"url", url}, {"blog_name", SjisToUtf8("旅&日記")}}));
  EXPECT_TRUE(Has(blog.Inst.Read("trackback.log"), "set URL : " + server.URL("/tb/7")));

  // A refusal shows the other blog's message, escaped; an answer that is no trackback answer is shown whole.
  answer = TrackBackAnswer("1", "<b>\xE6\x8B\x92\xE5\x90\xA6</b>");
  cell = Save("subject=s&trackback=" + server.URL("/tb/8"));
  EXPECT_TRUE(Has(cell, "<span style=\"color:red\">トラックバックに失敗</span><br>「&lt;b&gt;拒否&lt;/b&gt;」\r\n"));
  // Only its angle brackets are written as text.
  answer = Answer("<p class=\"a\">x&amp;\ty</p>\n");
  cell = Save("subject=s&trackback=" + server.URL("/tb/9"));
  EXPECT_TRUE(Has(cell, "<span style=\"color:red\">トラックバックの応答を解析できませんでした</span><br>-----Trackback result<br>"
                        "<span style=\"font-weight:bold\">&lt;p class=\"a\"&gt;x&amp;\ty&lt;/p&gt;\n</span><br>-----Trackback result"));
  cell = Save("subject=s&trackback=http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/");
  EXPECT_TRUE(Has(cell, "トラックバックの応答を解析できませんでした"));
  EXPECT_EQ(blog.Records("cindex.txt").size(), 4u);  // the articles are stored whatever the answer
}

TEST_F(Sending, NothingGoesOutForAnArticleThatWasNotStored) {
  blog.Upload("demo+iu", "a.jpg", "picture");
  const auto pending = blog.Records("workatt.txt");
  std::filesystem::create_directory(blog.Inst.AccountFolder() + "cindex.txt");  // the index cannot be written
  answer = TrackBackAnswer("0", "ok");
  const std::string cell = Save("subject=s&cvisible=1&ucontent=<BIMAGE+src=1>&trackback=" + server.URL("/tb"));
  EXPECT_EQ(cell, "<span style=\"color:red\">記事を保存できませんでした。記事は登録されていません</span>\r\n"
                  "</td></tr></table></div></body></html>\r\n");
  EXPECT_EQ(server.Connections(), 0);
  // The body and pictures written for it are gone; the upload waits for the next try.
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(blog.Inst.AccountFolder())) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"category.txt", "cindex.txt", "workatt.txt"}));
  EXPECT_EQ(blog.Images(), std::vector<std::string>{pending.at(0).at(0)});
  EXPECT_EQ(blog.Records("workatt.txt"), pending);
}

}  // namespace
