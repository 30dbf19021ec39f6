// The title of a fetched page: where the title and the charsets are found, and the conversions.
#include <gtest/gtest.h>

#include "admin/page_title.h"
#include "text/jconvert.h"

namespace {

const std::string kTitle = "日本語のタイトル・ｶﾀｶﾅ";

std::string Page(const std::string& head, const std::string& title) {
  return "<html><head>" + head + "<title>" + title + "</title></head><body><p>本文</p></body></html>";
}

TEST(PageTitle, TitleElement) {
  struct { const char* html; const char* title; } cases[] = {
      {"<html><head><title>Plain</title></head>", "Plain"},
      {"<HTML><HEAD><TITLE lang=\"ja\">Upper &amp; attrs</Title></HEAD>", "Upper &amp; attrs"},
      {"<title>\r\n   Spread\r\n\tover   lines \r\n</title>", "Spread over lines"},
      {"<titlex>Not it</titlex>", ""},
      {"<title>Never closed", ""},
      {"<head><meta name=\"x\"></head>", ""},
      {"<title></title>", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PageTitle("", c.html), c.title) << c.html;
  EXPECT_EQ(PageTitle("", "<title>" + std::string(2000, 'a') + "</title>").size(), kMaxTitleBytes);
  // A cut never splits a double-byte character.
  EXPECT_EQ(PageTitle("", "<title>a" + std::string(600, '\x82') + "</title>").size(), kMaxTitleBytes - 1);
}

TEST(PageTitle, CharsetsFromHeaderAndMeta) {
  EXPECT_EQ(HeaderCharset("HTTP/1.1 200 OK\r\nServer: x\r\ncontent-type: text/html; Charset=\"EUC-JP\"\r\n"), "EUC-JP");
  EXPECT_EQ(HeaderCharset("Content-Type: text/html\r\n"), "");
  EXPECT_EQ(MetaCharset("<meta name=\"a\" content=\"charset=no\"><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
                        "charset=Shift_JIS\">"),
            "Shift_JIS");
  EXPECT_EQ(MetaCharset("<head><meta charset=\"utf-8\"></head>"), "utf-8");
  EXPECT_EQ(MetaCharset("<head><meta http-equiv=\"refresh\" content=\"0\"></head>"), "");

  // The META charset wins over the header's.
  const std::string euc = SjisToEuc(kTitle);
  EXPECT_EQ(PageTitle("Content-Type: text/html; charset=Shift_JIS\r\n",
                      Page("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">", euc)),
            kTitle);
  EXPECT_EQ(PageTitle("Content-Type: text/html; charset=EUC-JP\r\n", Page("", euc)), kTitle);
}

TEST(PageTitle, ConversionByName) {
  struct { const char* charset; std::string bytes; } cases[] = {
      {"utf-8", SjisToUtf8(kTitle)},   {"UTF8-NOT", kTitle},  // an unknown name is detected instead
      {"x-euc-jp", SjisToEuc(kTitle)}, {"Shift_JIS", kTitle}, {"us-ascii", kTitle}, {"ISO-2022-JP", SjisToJis(kTitle)},
      {"UTF-7", "+ZeVnLIqe-"},
  };
  for (const auto& c : cases) {
    const std::string want = std::string(c.charset) == "UTF-7" ? "日本語" : kTitle;
    EXPECT_EQ(TitleToSjis(c.bytes, c.charset, ""), want) << c.charset;
  }
  // A later name in the list wins: ASCII after UTF-8 leaves the bytes as they are.
  EXPECT_EQ(TitleToSjis("abc\x82\xa0", "utf-8 us-ascii", ""), "abc\x82\xa0");
}

TEST(PageTitle, ConversionByDetection) {
  EXPECT_EQ(TitleToSjis(SjisToUtf8(kTitle), "", ""), kTitle);
  EXPECT_EQ(TitleToSjis(SjisToJis(kTitle), "", ""), kTitle);
  EXPECT_EQ(TitleToSjis(kTitle, "", ""), kTitle);
  EXPECT_EQ(TitleToSjis("ASCII only", "", ""), "ASCII only");
  // EUC-JP hiragana alone cannot be told from Shift_JIS half-width katakana; the page decides.
  const std::string eucTitle = SjisToEuc("あいう"), eucBody = SjisToEuc("ここは本文です。漢字がたくさん");
  EXPECT_EQ(TitleToSjis(eucTitle, "", eucBody), "あいう");
  EXPECT_EQ(PageTitle("", Page("", SjisToEuc(kTitle)) + eucBody), kTitle);
}

}  // namespace
