// Placing an article's pictures when it is saved: names that are freed and taken in one save,
// missing files, and a failed copy that leaves everything as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "admin/article_pictures.h"

namespace fs = std::filesystem;

namespace {

class PlacePicturesTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("velm-pictures-" + std::to_string(::getpid()) + "-" +
                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    folder = dir.string() + "/";
  }
  void TearDown() override { fs::remove_all(dir); }
  void Put(const std::string& name, const std::string& bytes) const { std::ofstream(folder + name, std::ios::binary) << bytes; }
  std::string Get(const std::string& name) const {
    std::ostringstream s;
    s << std::ifstream(folder + name, std::ios::binary).rdbuf();
    return s.str();
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
  }
  fs::path dir;
  std::string folder;
  const std::string id = std::string(40, 'a');
};

using Names = std::vector<std::string>;

TEST_F(PlacePicturesTest, ADroppedPictureFreesItsNameForTheNext) {
  Put(id + "-1.jpg", "one");
  Put(id + "-2.jpg", "two");
  Put("pend000000000001.PNG", "new");
  std::string body = "<BIMAGE src=2><BIMAGE src=3 align=left>";
  TPicturePlacement placed;
  TAttachFileList pending = {{folder, "pend000000000001.PNG", 3, "t"}};
  ASSERT_TRUE(PlacePictures(folder, id, PictureSources({id + "-1.jpg", id + "-2.jpg"}, pending), body, placed));
  EXPECT_EQ(body, "<BIMAGE src=\"1\"><BIMAGE src=\"2\" align=\"left\">");
  EXPECT_EQ(placed.Names, (Names{id + "-1.jpg", id + "-2.PNG"}));
  EXPECT_EQ(placed.Written, Names{id + "-2.PNG"});
  EXPECT_EQ(Get(id + "-1.jpg"), "two");
  EXPECT_EQ(Get(id + "-2.PNG"), "new");
  // The old second picture and the pending upload are left to the caller, which removes them once
  // the new version is stored: a save killed before that leaves no picture of the old one missing.
  EXPECT_EQ(placed.Dropped, Names{id + "-2.jpg"});
  EXPECT_EQ(Files(), (Names{id + "-1.jpg", id + "-2.PNG", id + "-2.jpg", "pend000000000001.PNG"}));
  EXPECT_EQ(Get(id + "-2.jpg"), "two");
}

// The second name of a moving picture is a link: the old file keeps its bytes until the caller
// deletes it, and a leftover "___" file of a killed save is replaced.
TEST_F(PlacePicturesTest, MovedPicturesAreLinkedNotTaken) {
  Put(id + "-1.jpg", "one");
  Put(id + "-2.jpg", "two");
  Put("___" + id + "-1.jpg", "stale");
  std::string body = "<BIMAGE src=2>";
  TPicturePlacement placed;
  ASSERT_TRUE(PlacePictures(folder, id, PictureSources({id + "-1.jpg", id + "-2.jpg"}, {}), body, placed));
  EXPECT_EQ(placed.Names, Names{id + "-1.jpg"});
  EXPECT_EQ(placed.Dropped, Names{id + "-2.jpg"});
  EXPECT_EQ(Get(id + "-1.jpg"), "two");
  EXPECT_EQ(Files(), (Names{id + "-1.jpg", id + "-2.jpg"}));
}

TEST_F(PlacePicturesTest, MissingAndUnsafeNamesKeepTheirNumbers) {
  Put(id + "-2.gif", "two");
  std::string body = "<BIMAGE src=1>|<BIMAGE src=2>|<BIMAGE src=3>";
  TPicturePlacement placed;
  ASSERT_TRUE(PlacePictures(folder, id, PictureSources({id + "-1.jpg", "../escape.gif", id + "-2.gif"}, {}), body, placed));
  EXPECT_EQ(body, "<BIMAGE src=1>|<BIMAGE src=2>|<BIMAGE src=3>");  // nothing renumbered
  EXPECT_EQ(placed.Names, (Names{id + "-1.jpg", id + "-2.gif", id + "-3.gif"}));
  EXPECT_EQ(placed.Dropped, Names{id + "-2.gif"});  // its name now belongs to a missing picture
  EXPECT_EQ(Get(id + "-3.gif"), "two");
  EXPECT_FALSE(fs::exists(dir.parent_path() / "escape.gif"));
}

TEST_F(PlacePicturesTest, AFailedCopyPutsEverythingBack) {
  Put(id + "-1.jpg", "one");
  Put(id + "-2.jpg", "two");
  Put("p1.jpg", "p1");  // the second pending file is missing
  std::string body = "<BIMAGE src=2><BIMAGE src=3><BIMAGE src=4>";
  TPicturePlacement placed;
  const TAttachFileList pending = {{folder, "p1.jpg", 2, "t"}, {folder, "p2.jpg", 2, "t"}};
  EXPECT_FALSE(PlacePictures(folder, id, PictureSources({id + "-1.jpg", id + "-2.jpg"}, pending), body, placed));
  EXPECT_TRUE(placed.Names.empty() && placed.Written.empty());
  EXPECT_EQ(Files(), (Names{id + "-1.jpg", id + "-2.jpg", "p1.jpg"}));
  EXPECT_EQ(Get(id + "-2.jpg"), "two");
}

}  // namespace
