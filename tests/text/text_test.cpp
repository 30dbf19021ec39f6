#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <random>

#include <algorithm>
#include <cstdlib>

#include "text/DHTMLTag.h"
#include "text/DHash.h"
#include "text/DString.h"
#include "text/address_rules.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

using TCases = std::vector<std::pair<std::string, std::string>>;  // got, wanted

void ExpectAll(const TCases& cases) {
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
}

TEST(Strings, CutNeverSplitsADoubleByteCharacterAndOtherTextRules) {
  ExpectAll({{CutLength("abc", 5, "~"), "abc"}, {CutLength("abcde", 5, "~"), "abcde~"},
             {CutLength("あいう", 3, "~"), "あ~"}, {CutLength("あいう", 4, "~"), "あい~"}, {CutLength("aあいう", 2, "~"), "a~"},
             // Two katakana whose trail bytes are lead-byte values: a trail byte is not taken for a lead.
             {CutLength("\x83\x81\x83\x81", 3, ""), "\x83\x81"},
             {UpperCase("aヂz"), "AヂZ"},  // the trail byte of ヂ is "a"
             {RemoveTags("a<b>c>d"), "acd"}, {RemoveTags("x<y<b>z"), "xz"}, {RemoveTags("open <tag"), "open tag"},
             {RemoveTrailingBreaks("a\r\n\r\n"), "a"}, {PercentDecode("%41%4a%zz%4+%"), "AJ%zz%4+%"},
             {ReplaceAllText("a<VelmPath>b<VELMPATH>", "<velmpath>", "X"), "aXbX"},
             {Escape("<a href=\"x\">&amp;\t"), "&lt;a href=&quot;x&quot;&gt;&amp; "},
             {EscapeKeepingTabs("<a href=\"x\">&amp;\t"), "&lt;a href=&quot;x&quot;&gt;&amp;\t"}});
  TStringList l = {"a", "", "b", "", ""};
  TrimList(l);
  EXPECT_EQ(l, (TStringList{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd\r\n\r\ne"), (TStringList{"a", "b", "c", "d", "", "e"}));
  EXPECT_TRUE(SplitLines("").empty());
}

TEST(Strings, RandomCodesAndFileWords) {
  const std::string code = RandomCode(16), digits = RandomDigits(20);
  EXPECT_TRUE(code.size() == 16 && std::all_of(code.begin(), code.end(), [](unsigned char c) { return isalnum(c); }));
  EXPECT_TRUE(std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return isdigit(c); })) << digits;
  EXPECT_NE(RandomCode(16), RandomCode(16));
  EXPECT_TRUE(IsSafeFileWord("abcDEF123"));
  for (const char* bad : {"", ".hidden", "../x", "a/b", "a\\b", "x..y"}) EXPECT_FALSE(IsSafeFileWord(bad)) << bad;
  EXPECT_FALSE(IsSafeFileWord(std::string("a\0b", 3)));
  EXPECT_TRUE(IsArticleId(Sha1Hex("2009/05/17 08:03:09")));
  EXPECT_FALSE(IsArticleId(std::string(40, 'A')) || IsArticleId(std::string(39, 'a')));
}

TEST(Dates, FormsParsersAndCorrections) {
  setenv("TZ", "Asia/Tokyo", 1);
  tzset();
  const TDateTime d{2009, 5, 17, 8, 3, 9};
  // Out-of-range fields fall back to January 1st, an unreadable year to 2008, a day to the month's last.
  ExpectAll({{FormatStamp(d) + FormatCompactStamp(d), "2009/05/17 08:03:0920090517080309"},
             {FormatMailDate({2009, 5, 7, 8, 3, 9}, "+0900"), "Thu,  7 May 2009 08:03:09 +0900"},
             {FormatHttpDate(1796450100), "Sat, 05 Dec 2026 05:55:00 GMT"},
             {FormatStamp(ParseStamp("2009/13/40 25:61:61")), "2009/01/01 00:00:00"},
             {FormatStamp(ParseStamp("20")), "2008/01/01 00:00:00"},
             {FormatStamp(ParseStamp("abcd/05/17 08:03:09")).substr(0, 4), "2008"},
             {FormatDay(ParseStamp("2009/04/31 00:00:00")), "2009/04/30"},
             {FormatDay(ParseCompactDay("abcd0101")), "2008/01/01"},
             {FormatDay(AddDays({2009, 3, 1}, -1)), "2009/02/28"},
             {FormatStamp(FromUnix(ToUnix(d))), FormatStamp(d)}});
  EXPECT_TRUE(IsValidDate(2000, 2, 29) && IsValidStamp("2024/02/29 23:59:59"));
  EXPECT_FALSE(IsValidDate(2100, 2, 29));
  for (const char* bad : {"2023/02/29 10:00:00", "2023/02/28 24:00:00", "2023/02/28 1a:00:00"})
    EXPECT_FALSE(IsValidStamp(bad)) << bad;
  EXPECT_EQ(DayOfWeek({2008, 2, 1}), 5);
}

TEST(Encodings, JisEucAndUnicodeRoundTrips) {
  EXPECT_EQ(SjisToJis("あ"), "\x1B$B\x24\x22\x1B(B");
  for (int j1 = 0x21; j1 <= 0x7E; ++j1)
    for (int j2 = 0x21; j2 <= 0x7E; ++j2) {  // every row and cell
      const std::string jis = std::string("\x1B$B") + char(j1) + char(j2) + "\x1B(B", sjis = JisToSjis(jis);
      ASSERT_EQ(sjis.size(), 2u);
      ASSERT_EQ(SjisToJis(sjis), jis);
      ASSERT_EQ(EucToSjis(SjisToEuc(sjis)), sjis);
    }
  const std::string text = "日本語のテキストとABC、ｶﾀｶﾅ";
  // UTF-8 both ways is checked against iconv below.
  ExpectAll({{Utf16ToSjis(SjisToUtf16(text)), text}, {JisToSjis(SjisToJis("漢字abc")), "漢字abc"},
             {Utf7ToSjis("Hi +MEIwRDBG-! 1 +- 1"), "Hi あいう! 1 + 1"}});
  EXPECT_TRUE(IsValidUtf8("\xE3\x81\x82 ok"));
  EXPECT_FALSE(IsValidUtf8("\x82\xA0") || IsValidUtf8("\xE3\x81"));
  const std::pair<std::string, int> kinds[] = {{"plain ascii", ckNone}, {std::string("a\0b", 3), ckBinary},
                                               {SjisToJis("日本"), ckJis}, {"\x1B$@xx", ckJisOld},
                                               {"\x88\xA0", ckSjis} /* 0x81-0x9F lead */, {SjisToEuc("日本語の文章です"), ckEuc}};
  for (const auto& [bytes, kind] : kinds) EXPECT_EQ(DetectCode(bytes), kind) << kind;
  // EUC-JP with a blank after a kanji whose second byte is 0xE0-0xEF: the walk goes on to the
  // next character instead of taking the blank for Shift_JIS.
  EXPECT_EQ(DetectCode(SjisToEuc("東 京都")), ckEuc);
  EXPECT_EQ(DetectCode(SjisToEuc("東京都")), ckEuc);
}

// Text from outside becomes UTF-8 from its declared charset or its detected code; nothing that
// maps is lost, whatever byte a field ends in.
TEST(Encodings, ToUtf8FromDeclaredOrDetectedCode) {
  const std::string text = "タイトル 東 京都ｶﾅ", utf8 = SjisToUtf8(text);
  ExpectAll({{ToUtf8(SjisToEuc(text), ""), utf8}, {ToUtf8(SjisToEuc(text), "EUC-JP"), utf8},
             {ToUtf8(text, ""), utf8}, {ToUtf8(text, "shift_jis"), utf8}, {ToUtf8(text, "Windows-31J"), utf8},
             {ToUtf8(SjisToJis(text), ""), utf8}, {ToUtf8(SjisToJis(text), "iso-2022-jp"), utf8},
             {ToUtf8(utf8, ""), utf8}, {ToUtf8(utf8, "UTF-8"), utf8}, {ToUtf8("plain", "euc-jp"), "plain"},
             {ToUtf8(SjisToEuc("タイトル"), ""), SjisToUtf8("タイトル")},  // ends in 0xEB
             {ToUtf8("\xE3\x81\x82", "utf-8"), "\xE3\x81\x82"}, {ToUtf8("a\x82", ""), "a?"}});
  EXPECT_EQ(CharsetCode("x-unknown"), ckNone);
  EXPECT_TRUE(IsValidUtf8(ToUtf8("\xFF\xFE\x80\x01", "")));
}

TEST(Encodings, Base64AndFoldedMimeWords) {
  const std::string big(200, 'x'), stream = Base64EncodeStream(big);
  ExpectAll({{Base64Encode("Man") + Base64Encode("Ma") + Base64Encode("M"), "TWFuTWE=TQ=="},
             {Base64Decode("TWFu\r\nTWE="), "ManMa"}, {stream.substr(76, 2), "\r\n"}, {Base64Decode(stream), big},
             {MimeWord("hello", true), "\"hello\""}, {PercentEncode("a b"), "%61%20%62"},
             {MimeWord("あ", false), "=?iso-2022-jp?B?" + Base64Encode(SjisToJis("あ")) + "?="}});
  std::string subject, back;
  for (int i = 0; i < 40; ++i) subject += "長い件名";
  const std::string folded = MimeWordsFolded(subject, false, 76);
  int words = 0;
  for (size_t pos = 0; (pos = folded.find("=?iso-2022-jp?B?", pos)) != std::string::npos; ++words) {
    const size_t end = folded.find("?=", pos);
    const std::string piece = JisToSjis(Base64Decode(folded.substr(pos + 16, end - pos - 16)));
    EXPECT_EQ(piece.size() % 2, 0u);  // whole characters only
    back += piece;
    pos = end + 2;
  }
  EXPECT_GT(words, 1);
  EXPECT_EQ(back, subject);
  EXPECT_NE(folded.find("?=\r\n\t=?"), std::string::npos);
}

TEST(Tags, ScannerOptionsAndMembers) {
  const std::string t = "x<a href=\"http://e/?a>b\" target=_blank>link</a>y";
  const TTagList tags = GetTagList(t), text = GetTextList(t, tags);
  ASSERT_TRUE(tags.size() == 2 && text.size() == 3);
  const TOptionList o = GetOptionList(TagText(t, tags[0]));
  ASSERT_EQ(o.size(), 2u);
  const std::string rpc = "<methodResponse><params><param><value><struct><member><name>flerror</name><value>"
                          "<boolean>0</boolean></value></member><member><name>message</name><value>Thanks</value>"
                          "</member></struct></value></param></params></methodResponse>";
  ExpectAll({{TagText(t, tags[0]), "<a href=\"http://e/?a>b\" target=_blank>"}, {TagText(t, text[1]), "link"},
             // A quoted value ends at ">" too.
             {o[0].Name + " " + o[0].Value + " " + o[1].Name + " " + o[1].Value, "href http://e/?a target _blank"},
             {GetOptionValue("<BIMAGE SRC=2 align=\"aright\">", "src"), "2"},
             {GetOptionValue("<BIMAGE src=2>", "width", "240"), "240"},
             {OptionsText(GetOptionList("<x a=1 b=\"2\">"), true), " a=\"1\" b=\"2\""},
             {XmlRpcMemberValue(rpc, "flerror"), "<boolean>0</boolean>"}, {XmlRpcMemberValue(rpc, "MESSAGE"), "Thanks"},
             {XmlRpcMemberValue(rpc, "none"), ""}});
}

TEST(AddressRules, KindsVerdictsAndTheRangeWalk) {
  const struct { TStringList rules; const char* ip; const char* host; TRuleVerdict want; } cases[] = {
      {{"DENY,IP,192.168.*.*"}, "192.168.3.4", "", rvRefuse}, {{"DENY,IP,192.168.*.*"}, "192.169.3.4", "", rvNone},
      {{"PASS,IPS,10.0.0.0,255.0.0.0"}, "10.1.2.3", "", rvPass}, {{"#DENY,IP,*.*.*.*"}, "1.2.3.4", "", rvNone},
      {{"DENY,IPR,10.0.0.0,10.0.0.255", "PASS,IP,10.0.0.7"}, "10.0.0.7", "", rvPass},
      {{"DENY,IPR,10.0.0.0,10.0.0.255", "PASS,IP,10.0.0.8"}, "10.0.0.7", "", rvRefuse},
      {{"deny host *.spam.example"}, "1.1.1.1", "mail.spam.example", rvRefuse},
      {{"DENY,HOST,[exact.example]"}, "1.1.1.1", "exact.example", rvRefuse},
      {{"DENY,HOST,[exact.example]"}, "1.1.1.1", "a.exact.example", rvNone},
      {{"DENY,HOST,dialup"}, "1.1.1.1", "p1.DIALUP.isp.jp", rvRefuse},
      {{"DENY,HOSTC,.JP"}, "1.1.1.1", "x.example.jp", rvRefuse}};
  for (const auto& c : cases) EXPECT_EQ(CheckAddressRules(c.rules, c.ip, c.host), c.want) << c.rules[0] << " " << c.host;
  EXPECT_TRUE(WildcardMatch("a*c?e", "ABXXCDE"));
  EXPECT_FALSE(WildcardMatch("???", "abcd"));
}

}  // namespace

namespace {

// The platform's conversion, as velm used it before its tables: each refused byte becomes "?".
std::string IconvReference(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t left = in.size(), done = 0;
  while (left > 0) {
    char* dst = out.data() + done;
    size_t room = out.size() - done;
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    done = out.size() - room;
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else {
      if (out.size() - done < 4) out.resize(out.size() * 2);
      out[done++] = '?';
      ++src;
      --left;
    }
  }
  out.resize(done);
  iconv_close(cd);
  return out;
}

}  // namespace

// The built-in tables convert exactly as the platform's iconv: every single byte and pair of
// Shift_JIS, every character of the Basic Multilingual Plane, and random bytes both ways.
TEST(Encodings, TablesAgreeWithIconv) {
  for (unsigned a = 0; a < 256; ++a) {
    const std::string one(1, static_cast<char>(a));
    ASSERT_EQ(SjisToUtf8(one), IconvReference("UTF-8", "CP932", one)) << a;
    for (unsigned b = 0; b < 256; ++b) {
      const std::string two = one + static_cast<char>(b);
      ASSERT_EQ(SjisToUtf8(two), IconvReference("UTF-8", "CP932", two)) << a << " " << b;
    }
  }
  for (unsigned cp = 0; cp < 0x10000; ++cp) {
    std::string u;
    if (cp < 0x80) u += static_cast<char>(cp);
    else if (cp < 0x800) u += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    else
      u += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
            static_cast<char>(0x80 | (cp & 0x3F))};
    ASSERT_EQ(Utf8ToSjis(u), IconvReference("CP932", "UTF-8", u)) << cp;
  }
  std::mt19937 rng(5);
  for (int n = 0; n < 20000; ++n) {
    std::string s(rng() % 12, '\0');
    for (char& c : s) c = static_cast<char>(rng() % 4 ? 0x80 + rng() % 128 : rng() % 256);
    ASSERT_EQ(SjisToUtf8(s), IconvReference("UTF-8", "CP932", s));
    ASSERT_EQ(Utf8ToSjis(s), IconvReference("CP932", "UTF-8", s));
    const std::string u = SjisToUtf8(s) + "\xF0\x9F\x98\x80" + s;
    ASSERT_EQ(Utf8ToSjis(u), IconvReference("CP932", "UTF-8", u));
  }
}

// Case-insensitive search and replace see the text as UpperCase does (second bytes of
// double-byte characters as they are), without making that copy.
TEST(Strings, CaseInsensitiveSearchAsTheUpperCaseView) {
  auto naivePos = [](const std::string& needle, const std::string& hay, size_t from) {
    return UpperCase(hay).find(UpperCase(needle), from);
  };
  auto naiveReplace = [](const std::string& s, const std::string& from, const std::string& to) {
    const std::string us = UpperCase(s), uf = UpperCase(from);
    std::string out;
    size_t pos = 0, hit;
    while ((hit = us.find(uf, pos)) != std::string::npos) {
      out.append(s, pos, hit - pos);
      out += to;
      pos = hit + from.size();
    }
    return out + s.substr(pos);
  };
  const char alphabet[] = {'a', 'A', 'b', '<', '>', '\x82', '\x83', '\x81', 'x', 'X', '\x61', '\x41'};
  std::mt19937 rng(3);
  auto text = [&](size_t n) {
    std::string s(n, ' ');
    for (char& c : s) c = alphabet[rng() % sizeof alphabet];
    return s;
  };
  for (int i = 0; i < 50000; ++i) {
    const std::string hay = text(rng() % 16), needle = text(1 + rng() % 3);
    const size_t from = rng() % (hay.size() + 2);
    ASSERT_EQ(PosText(needle, hay, from), naivePos(needle, hay, from)) << hay << "|" << needle << "|" << from;
    ASSERT_EQ(ReplaceAllText(hay, needle, "<r>"), naiveReplace(hay, needle, "<r>")) << hay << "|" << needle;
  }
  EXPECT_EQ(ReplaceAllText("<logid> and <LOGID> and ア<LogId>", "<LOGID>", "1"), "1 and 1 and ア1");
}
