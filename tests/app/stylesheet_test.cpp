// The stylesheet rules: optional lines, widths, site images and customcss.txt.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/stylesheet.h"
#include "module_fixture.h"

namespace fs = std::filesystem;

namespace {

class StyleSheetTest : public ::testing::Test {
protected:
  void SetUp() override { fs::create_directories(dir + "img"), fs::create_directories(dir + "acc"); }
  void TearDown() override { fs::remove_all(dir); }
  void Touch(const std::string& rel, const std::string& text = "x") { std::ofstream(dir + rel) << text; }
  TStringList Sheet(const TCellWidths& w = {"800", 150, 100}) {
    TStringList page;
    WriteStyleSheet(page, {sys, w, "demo", dir + "acc/", dir + "img/", css});
    return page;
  }
  // The lines of one rule, from its opening line to its closing brace.
  static TStringList Rule(const TStringList& page, const std::string& open) {
    TStringList out;
    for (auto it = std::find(page.begin(), page.end(), open); it != page.end(); ++it) {
      out.push_back(*it);
      if (*it == "  }" || *it == " }") break;
    }
    return out;
  }
  static bool Has(const TStringList& page, const std::string& line) {
    return std::find(page.begin(), page.end(), line) != page.end();
  }
  std::string dir = MakeTempFolder("velm-style");
  TSystemSettings sys;
  TCSSValue css;
};

TEST_F(StyleSheetTest, OptionalLinesAndWidths) {
  css.TIMAGEHEIGHT = 120;
  css.TITLEREPEAT = "no-repeat";
  css.MENULOGCOLOR = css.MENUBACKGROUND = "";
  TStringList page = Sheet({"90%", 170, 90});
  EXPECT_EQ(Rule(page, "  .titlecell {"),
            (TStringList{"  .titlecell {", "    vertical-align:top;", "    text-align:left;", "    font-size:x-small;",
                         "    color:black;", "    width:90%;", "    height:120px;", "    background-repeat:no-repeat;",
                         "    background-color:white;", "  }"}));
  EXPECT_EQ(Rule(page, "  .navicell {"), (TStringList{"  .navicell {", "    vertical-align:top;", "    width:170px;",
                                                      "    font-size:x-small;", "    table-layout: fixed;", "  }"}));
  EXPECT_EQ(Rule(page, "  .sidebox {")[3], "    width:90px;");
  EXPECT_EQ(Rule(Sheet(), "  .largecell {")[1], "    width:800px;");
  css.TIMAGEHEIGHT = -1;
  css.BACKGROUND = css.TITLEBACKGROUND = "";
  page = Sheet();
  EXPECT_EQ(Rule(page, "  .titlecell {")[6], "    background-repeat:no-repeat;");  // no height
  EXPECT_EQ(Rule(page, "  .titlecell {").size(), 8u);                                // no colour
  EXPECT_TRUE(Has(page, "    background:;"));  // the page background line is always there
}

TEST_F(StyleSheetTest, SiteImagesAndCustomCss) {
  sys.IMAGEPATH = "/pics/";
  Touch("img/velmbackground.png");
  Touch("img/velmbackground.gif");
  Touch("img/TitleImage.JPG");  // uploads keep the extension as sent
  Touch("img/titleimage.png");
  TStringList page = Sheet();
  EXPECT_TRUE(Has(page, "    background:url(/pics/demo/velmbackground.gif);"));
  EXPECT_EQ(Rule(page, "  .titlecell {").rbegin()[1], "    background-image:url(/pics/demo/TitleImage.JPG);");
  fs::remove(dir + "img/TitleImage.JPG");
  EXPECT_TRUE(Has(Sheet(), "    background-image:url(/pics/demo/titleimage.png);"));
  fs::remove_all(dir + "img");
  EXPECT_TRUE(Has(Sheet(), "    background:white;"));
  EXPECT_TRUE(Has(Sheet(), "    background-color:white;"));

  Touch("acc/customcss.txt", ".x { color:red; }\r\n.y {}");
  page = Sheet();
  EXPECT_EQ(TStringList(page.end() - 3, page.end()), (TStringList{"  }", "", ".x { color:red; }\r\n.y {}"}));
}

}  // namespace
