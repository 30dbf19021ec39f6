#include <gtest/gtest.h>

#include <cstdlib>

#include "text/DHTMLTag.h"
#include "text/DHash.h"
#include "text/DString.h"
#include "text/address_rules.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

TEST(Strings, CutLengthNeverSplitsADoubleByteCharacter) {
  EXPECT_EQ(CutLength("abc", 5, "..."), "abc");
  EXPECT_EQ(CutLength("abcde", 5, "..."), "abcde...");
  const std::string jp = "あいう";  // six bytes
  EXPECT_EQ(CutLength(jp, 3, "~"), "あ~");
  EXPECT_EQ(CutLength(jp, 4, "~"), "あい~");
  EXPECT_EQ(CutLength("a" + jp, 2, "~"), "a~");
  // A trail byte that looks like a lead byte is not mistaken for one.
  const std::string tricky = "\x83\x81\x83\x81";  // two katakana whose trail bytes are lead-byte values
  EXPECT_EQ(CutLength(tricky, 3, ""), "\x83\x81");
}

TEST(Strings, TagsBreaksListsAndDecoding) {
  EXPECT_EQ(RemoveTags("a<b>c>d"), "acd");
  EXPECT_EQ(RemoveTags("x<y<b>z"), "xz");
  EXPECT_EQ(RemoveTags("<p>text</p>"), "text");
  EXPECT_EQ(RemoveTags("open <tag"), "open tag");
  EXPECT_EQ(RemoveTrailingBreaks("a\r\n\r\n"), "a");
  TStringList l = {"a", "", "b", "", ""};
  TrimList(l);
  EXPECT_EQ(l.size(), 3u);
  EXPECT_EQ(PercentDecode("%41%4a%zz%4+%"), "AJ%zz%4+%");
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd\r\n"), (TStringList{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n\r\nb"), (TStringList{"a", "", "b"}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(TwoDigits(5), "05");
  EXPECT_EQ(TwoDigitsBlank(5), " 5");
  EXPECT_EQ(UpperCase("abcあz"), "ABCあZ");
  EXPECT_TRUE(SameText("UseComment=", "USECOMMENT="));
  EXPECT_EQ(ReplaceAllText("a<VelmPath>b<VELMPATH>", "<velmpath>", "X"), "aXbX");
  EXPECT_EQ(Escape("<a href=\"x\">&amp;\t"), "&lt;a href=&quot;x&quot;&gt;&amp; ");
}

TEST(Strings, RandomCodesAndFileWords) {
  const std::string code = RandomCode(16);
  EXPECT_EQ(code.size(), 16u);
  for (char c : code) EXPECT_TRUE(isalnum(static_cast<unsigned char>(c)));
  EXPECT_NE(RandomCode(16), RandomCode(16));
  for (char c : RandomDigits(20)) EXPECT_TRUE(isdigit(static_cast<unsigned char>(c)));
  EXPECT_TRUE(IsSafeFileWord("abcDEF123"));
  for (const char* bad : {"", ".hidden", "../x", "a/b", "a\\b", "x..y"}) EXPECT_FALSE(IsSafeFileWord(bad)) << bad;
  EXPECT_FALSE(IsSafeFileWord(std::string("a\0b", 3)));
  EXPECT_TRUE(IsArticleId(Sha1Hex("2009/05/17 08:03:09")));
  EXPECT_FALSE(IsArticleId(std::string(40, 'A')));
  EXPECT_FALSE(IsArticleId(std::string(39, 'a')));
}

TEST(Dates, FormsParsersAndCorrections) {
  setenv("TZ", "Asia/Tokyo", 1);
  tzset();
  TDateTime d{2009, 5, 17, 8, 3, 9};
  EXPECT_EQ(FormatStamp(d), "2009/05/17 08:03:09");
  EXPECT_EQ(FormatDay(d), "2009/05/17");
  EXPECT_EQ(FormatCompactStamp(d), "20090517080309");
  EXPECT_EQ(FormatCompactMonth(d), "200905");
  EXPECT_EQ(FormatMailDate(d, "+0900"), "Sun, 17 May 2009 08:03:09 +0900");
  EXPECT_EQ(FormatMailDate({2009, 5, 7, 8, 3, 9}, "+0900"), "Thu,  7 May 2009 08:03:09 +0900");
  EXPECT_EQ(FormatHttpDate(1796450100), "Sat, 05 Dec 2026 05:55:00 GMT");
  EXPECT_EQ(FormatStamp(ParseStamp("2026/13/40 25:61:00")), "2026/01/01 00:00:00");
  EXPECT_EQ(FormatStamp(ParseStamp("2009/13/40 25:61:61")), "2009/01/01 00:00:00");
  EXPECT_EQ(ParseStamp("abcd/05/17 08:03:09").Year, 2008);
  EXPECT_EQ(FormatStamp(ParseStamp("20")), "2008/01/01 00:00:00");
  EXPECT_EQ(FormatDay(ParseStamp("2009/04/31 00:00:00")), "2009/04/30");
  EXPECT_EQ(FormatDay(ParseCompactDay("abcd0101")), "2008/01/01");
  EXPECT_EQ(FormatStamp(ParseCompactStamp("20090517080309")), "2009/05/17 08:03:09");
  EXPECT_EQ(FormatDay(ParseCompactMonth("200902")), "2009/02/01");
  EXPECT_TRUE(IsValidDate(2024, 2, 29));
  EXPECT_TRUE(IsValidDate(2000, 2, 29));
  EXPECT_FALSE(IsValidDate(2100, 2, 29));
  EXPECT_FALSE(IsValidDate(2009, 13, 1));
  EXPECT_TRUE(IsValidStamp("2024/02/29 23:59:59"));
  EXPECT_FALSE(IsValidStamp("2023/02/29 10:00:00"));
  EXPECT_FALSE(IsValidStamp("2023/02/28 24:00:00"));
  EXPECT_FALSE(IsValidStamp("2023/02/28 1a:00:00"));
  EXPECT_EQ(DayOfWeek({2008, 2, 1}), 5);
  EXPECT_EQ(DayOfWeek({2026, 12, 6}), 0);
  EXPECT_EQ(FormatStamp(AddSeconds(d, 60 * 60 * 24)), "2009/05/18 08:03:09");
  EXPECT_EQ(FormatDay(AddDays({2009, 3, 1}, -1)), "2009/02/28");
  EXPECT_EQ(FormatStamp(FromUnix(ToUnix(d))), FormatStamp(d));
}

TEST(Encodings, JisEucAndUtf8RoundTripsOverAllRows) {
  EXPECT_EQ(SjisToJis("あ"), "\x1B$B\x24\x22\x1B(B");
  EXPECT_EQ(JisToSjis("\x1B$B\x24\x22\x1B(B"), "あ");
  int checked = 0;
  for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
    for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
      std::string jis = std::string("\x1B$B") + char(j1) + char(j2) + "\x1B(B";
      const std::string sjis = JisToSjis(jis);
      ASSERT_EQ(sjis.size(), 2u);
      ASSERT_EQ(SjisToJis(sjis), jis);
      ASSERT_EQ(EucToSjis(SjisToEuc(sjis)), sjis);
      ++checked;
    }
  }
  EXPECT_EQ(checked, 94 * 94);
  const std::string text = "日本語のテキストとABC、ｶﾀｶﾅ";
  EXPECT_EQ(Utf8ToSjis(SjisToUtf8(text)), text);
  EXPECT_EQ(JisToSjis(SjisToJis("漢字abc")), "漢字abc");
  EXPECT_EQ(SjisToUtf8("あ"), "\xE3\x81\x82");
  EXPECT_EQ(Utf8ToSjis("\xE3\x81\x82\xFF"), "あ?");
  EXPECT_TRUE(IsValidUtf8("\xE3\x81\x82 ok"));
  EXPECT_FALSE(IsValidUtf8("\x82\xA0"));
  EXPECT_FALSE(IsValidUtf8("\xE3\x81"));
  EXPECT_EQ(Utf16ToSjis(SjisToUtf16(text)), text);
  EXPECT_EQ(Utf7ToSjis("Hi +MEIwRDBG-!"), "Hi あいう!");
  EXPECT_EQ(Utf7ToSjis("1 +- 1"), "1 + 1");
}

TEST(Encodings, Detection) {
  EXPECT_EQ(DetectCode("plain ascii"), ckNone);
  EXPECT_EQ(DetectCode(std::string("a\0b", 3)), ckBinary);
  EXPECT_EQ(DetectCode(SjisToJis("日本")), ckJis);
  EXPECT_EQ(DetectCode("\x1B$@xx"), ckJisOld);
  EXPECT_EQ(DetectCode("\x88\xA0"), ckSjis);  // 0x81-0x9F lead
  EXPECT_EQ(DetectCode(SjisToEuc("日本語の文章です")), ckEuc);
}

TEST(Encodings, Base64MimeAndPercent) {
  EXPECT_EQ(Base64Encode("Man"), "TWFu");
  EXPECT_EQ(Base64Encode("Ma"), "TWE=");
  EXPECT_EQ(Base64Encode("M"), "TQ==");
  EXPECT_EQ(Base64Decode("TWFu\r\nTWE="), "ManMa");
  const std::string big(200, 'x');
  const std::string stream = Base64EncodeStream(big);
  EXPECT_EQ(stream.substr(76, 2), "\r\n");
  std::string joined;
  for (char c : stream)
    if (c != '\r' && c != '\n') joined += c;
  EXPECT_EQ(Base64Decode(joined), big);
  EXPECT_EQ(MimeWord("hello", true), "\"hello\"");
  EXPECT_EQ(MimeWord("hello", false), "hello");
  EXPECT_EQ(MimeWord("あ", false), "=?iso-2022-jp?B?" + Base64Encode(SjisToJis("あ")) + "?=");
  std::string subject;
  for (int i = 0; i < 40; ++i) subject += "長い件名";
  const std::string folded = MimeWordsFolded(subject, false, 76);
  std::string back;
  size_t pos = 0;
  int words = 0;
  while ((pos = folded.find("=?iso-2022-jp?B?", pos)) != std::string::npos) {
    const size_t end = folded.find("?=", pos);
    const std::string piece = JisToSjis(Base64Decode(folded.substr(pos + 16, end - pos - 16)));
    EXPECT_EQ(piece.size() % 2, 0u);  // whole characters only
    back += piece;
    pos = end + 2;
    ++words;
  }
  EXPECT_GT(words, 1);
  EXPECT_EQ(back, subject);
  EXPECT_NE(folded.find("?=\r\n\t=?"), std::string::npos);
  EXPECT_EQ(PercentEncode("a b"), "%61%20%62");
}

TEST(Tags, ScannerOptionsAndMembers) {
  const std::string t = "x<a href=\"http://e/?a>b\" target=_blank>link</a>y";
  TTagList tags = GetTagList(t);
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(TagText(t, tags[0]), "<a href=\"http://e/?a>b\" target=_blank>");
  TTagList text = GetTextList(t, tags);
  ASSERT_EQ(text.size(), 3u);
  EXPECT_EQ(TagText(t, text[1]), "link");
  TOptionList o = GetOptionList(TagText(t, tags[0]));
  ASSERT_EQ(o.size(), 2u);
  EXPECT_EQ(o[0].Name, "href");
  EXPECT_EQ(o[0].Value, "http://e/?a");  // a quoted value ends at ">" too
  EXPECT_EQ(o[1].Name, "target");
  EXPECT_EQ(o[1].Value, "_blank");
  EXPECT_EQ(GetOptionValue("<BIMAGE SRC=2 align=\"aright\">", "src"), "2");
  EXPECT_EQ(GetOptionValue("<BIMAGE src=2>", "width", "240"), "240");
  EXPECT_EQ(OptionsText(GetOptionList("<x a=1 b=\"2\">"), true), " a=\"1\" b=\"2\"");
  EXPECT_EQ(GetTextList("plain", GetTagList("plain")).size(), 1u);
  const std::string rpc =
      "<methodResponse><params><param><value><struct><member><name>flerror</name><value><boolean>0</boolean>"
      "</value></member><member><name>message</name><value>Thanks</value></member></struct></value></param>"
      "</params></methodResponse>";
  EXPECT_EQ(XmlRpcMemberValue(rpc, "flerror"), "<boolean>0</boolean>");
  EXPECT_EQ(XmlRpcMemberValue(rpc, "MESSAGE"), "Thanks");
  EXPECT_EQ(XmlRpcMemberValue(rpc, "none"), "");
}

TEST(AddressRules, KindsVerdictsAndTheRangeWalk) {
  EXPECT_EQ(CheckAddressRules({"DENY,IP,192.168.*.*"}, "192.168.3.4", ""), rvRefuse);
  EXPECT_EQ(CheckAddressRules({"DENY,IP,192.168.*.*"}, "192.169.3.4", ""), rvNone);
  EXPECT_EQ(CheckAddressRules({"PASS,IPS,10.0.0.0,255.0.0.0"}, "10.1.2.3", ""), rvPass);
  EXPECT_EQ(CheckAddressRules({"#DENY,IP,*.*.*.*"}, "1.2.3.4", ""), rvNone);
  EXPECT_EQ(CheckAddressRules({"DENY,IPR,10.0.0.0,10.0.0.255", "PASS,IP,10.0.0.7"}, "10.0.0.7", ""), rvPass);
  EXPECT_EQ(CheckAddressRules({"DENY,IPR,10.0.0.0,10.0.0.255", "PASS,IP,10.0.0.8"}, "10.0.0.7", ""), rvRefuse);
  EXPECT_EQ(CheckAddressRules({"DENY,IP,300.*.*.*"}, "44.1.1.1", ""), rvNone);
  EXPECT_EQ(CheckAddressRules({"DENY,IP,1.2.3.4"}, "1.2.3.x", ""), rvNone);
  EXPECT_EQ(CheckAddressRules({"deny host *.spam.example"}, "1.1.1.1", "mail.spam.example"), rvRefuse);
  EXPECT_EQ(CheckAddressRules({"DENY,HOST,[exact.example]"}, "1.1.1.1", "exact.example"), rvRefuse);
  EXPECT_EQ(CheckAddressRules({"DENY,HOST,[exact.example]"}, "1.1.1.1", "a.exact.example"), rvNone);
  EXPECT_EQ(CheckAddressRules({"DENY,HOST,dialup"}, "1.1.1.1", "p1.DIALUP.isp.jp"), rvRefuse);
  EXPECT_EQ(CheckAddressRules({"DENY,HOSTC,.JP"}, "1.1.1.1", "x.example.jp"), rvRefuse);
  EXPECT_EQ(CheckAddressRules({"DENY,HOSTC"}, "1.1.1.1", "x.jp"), rvNone);
  EXPECT_TRUE(WildcardMatch("a*c?e", "ABXXCDE"));
  EXPECT_FALSE(WildcardMatch("???", "abcd"));
  EXPECT_TRUE(WildcardMatch("*", ""));
}

}  // namespace
