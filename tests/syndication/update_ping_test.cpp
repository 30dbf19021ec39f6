// The result and message cells of update-ping answers.
#include <gtest/gtest.h>

#include "syndication/update_ping.h"
#include "text/jconvert.h"

namespace {

std::string Cells(const std::string& status, const TStringList& headers, const std::string& body) {
  std::string result, message;
  PingAnswerCells(status, headers, body, result, message);
  return result + "|" + message;
}

TEST(UpdatePingAnswer, MembersAndTheFallbacksOfAnAnswerThatSaysNothing) {
  const std::string member = "<member><name> Message </name><value>";
  // flerror first, the raw message without its markup; Japanese in UTF-8 or a declared EUC-JP.
  EXPECT_EQ(Cells("HTTP/1.1 200 OK", {}, "<struct><member><name>flerror</name><value><boolean>1</boolean></value></member>" +
                                              member + "<string>" + SjisToUtf8("多すぎます") + "<script>x</script></string></value></member>"),
            "1|多すぎますx");
  EXPECT_EQ(Cells("HTTP/1.1 200 OK", {},
                  "<?xml version=\"1.0\" encoding=\"EUC-JP\"?><member><name>flerror</name><value>0</value></member>" + member +
                      SjisToEuc("受付") + "</value></member>"),
            "0|受付");
  // A member without its partner: the body lines in blue, escaped; no body: the header lines in red.
  EXPECT_EQ(Cells("HTTP/1.1 200 OK", {"HTTP/1.1 200 OK", "Server: x"}, "<member><name>flerror</name><value>0</value></member>\n\"q\""),
            "0|<span style=\"color:blue; font-weight:bold\">&lt;member&gt;&lt;name&gt;flerror&lt;/name&gt;&lt;value&gt;0"
            "&lt;/value&gt;&lt;/member&gt;<br>&quot;q&quot;<br></span>");
  EXPECT_EQ(Cells("HTTP/1.1 200 OK", {"HTTP/1.1 200 OK", "Server: <x>"}, ""),
            "|<span style=\"color:red; font-weight:bold\">HTTP/1.1 200 OK<br>Server: &lt;x&gt;<br></span>");
  EXPECT_EQ(Cells("HTTP/1.1 200 OK", {}, ""), "|<span style=\"color:red; font-weight:bold\">HTTP/1.1 200 OK</span>");
  EXPECT_EQ(Cells("HTTP/1.1 500 <Error>", {"x"}, "<member><name>flerror</name><value>0</value></member>"), "|HTTP/1.1 500 &lt;Error&gt;");
}

}  // namespace
