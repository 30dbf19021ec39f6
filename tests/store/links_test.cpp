// The link list url.link.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "store/links.h"

namespace fs = std::filesystem;

namespace {

class LinksTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velm-links-XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
  }
  void TearDown() override { fs::remove_all(dir); }
  TLinkURLList Load(const std::string& bytes) {
    std::ofstream(dir + "url.link", std::ios::binary) << bytes;
    TLinkURLList list;
    LoadLinkList(dir, list);
    return list;
  }
  std::string dir;
};

TEST_F(LinksTest, ThreeAndFiveFieldLinesInFileOrderOthersSkipped) {
  const TLinkURLList l = Load(
      "\"k1\",\"http://a.example/\",\"A, with comma\"\r\n"
      "\"k2\",\"http://b.example/\"\r\n"                                         // 2 fields
      "\"k3\",\"http://c.example/\",\"C\",\"友達\",\"say &quot;hi&quot;\"\r\n"
      "\r\n"
      "\"k4\",\"http://d.example/\",\"D\",\"x\"\r\n"                             // 4 fields
      "\"k5\",\"http://e.example/\",\"E\",\"\",\"\",\"extra\"\r\n"               // 6 fields
      "\"k6\",\"http://f.example/\",\"F\"");                                     // no final break
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0].id, "k1");
  EXPECT_EQ(l[0].url, "http://a.example/");
  EXPECT_EQ(l[0].title, "A, with comma");
  EXPECT_EQ(l[0].category, "");
  EXPECT_EQ(l[0].comment, "");
  EXPECT_EQ(l[1].id, "k3");
  EXPECT_EQ(l[1].category, "友達");
  EXPECT_EQ(l[1].comment, "say &quot;hi&quot;");
  EXPECT_EQ(l[2].id, "k6");
  EXPECT_EQ(l[2].title, "F");
}

TEST_F(LinksTest, MissingAndBinaryFilesGiveNothing) {
  TLinkURLList list{{"stale", "", "", "", ""}};
  LoadLinkList(dir, list);
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(Load(std::string("\0\x81\"\xff,\r\n\"", 8)).empty());
}

TEST_F(LinksTest, BannerPrefersJpgThenGifThenPng) {
  EXPECT_EQ(FindLinkBanner(dir, "k1"), "");
  std::ofstream(dir + "k1.png") << "png";
  EXPECT_EQ(FindLinkBanner(dir, "k1"), "k1.png");
  std::ofstream(dir + "k1.gif") << "gif";
  EXPECT_EQ(FindLinkBanner(dir, "k1"), "k1.gif");
  std::ofstream(dir + "k1.JPG") << "jpg";  // named as uploaded
  EXPECT_EQ(FindLinkBanner(dir, "k1"), "k1.JPG");
  EXPECT_EQ(FindLinkBanner(dir, "k"), "");

  // An id that would leave the folder names no banner.
  fs::create_directories(dir + "sub");
  std::ofstream(dir + "sub/x.gif") << "gif";
  std::ofstream(dir + ".gif") << "gif";
  const std::string self = fs::path(dir).parent_path().filename().string();
  for (const std::string& id : {std::string("sub/x"), "../" + self + "/k1", std::string(), std::string(".")})
    EXPECT_EQ(FindLinkBanner(dir, id), "") << id;
}

}  // namespace
