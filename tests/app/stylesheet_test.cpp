// The stylesheet rules: defaults, optional lines, widths, site images and customcss.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/stylesheet.h"
#include "text/DString.h"

namespace fs = std::filesystem;

namespace {

class StyleSheetTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velm-style-XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
    fs::create_directories(dir + "acc");
    fs::create_directories(dir + "img");
  }
  void TearDown() override { fs::remove_all(dir); }
  void Touch(const std::string& rel, const std::string& text = "x") { std::ofstream(dir + rel, std::ios::binary) << text; }
  TStringList Sheet(const TCellWidths& w = {"800", 150, 100}) {
    TStringList page;
    WriteStyleSheet(page, {sys, w, "demo", dir + "acc/", dir + "img/", css});
    return page;
  }
  static bool Has(const TStringList& page, const std::string& line) {
    return std::find(page.begin(), page.end(), line) != page.end();
  }
  // The lines of one rule, from its opening line to its closing brace.
  static TStringList Rule(const TStringList& page, const std::string& open) {
    auto it = std::find(page.begin(), page.end(), open);
    TStringList out;
    for (; it != page.end(); ++it) {
      out.push_back(*it);
      if (*it == "  }" || *it == " }") break;
    }
    return out;
  }
  std::string dir;
  TSystemSettings sys;
  TCSSValue css;
};

TEST_F(StyleSheetTest, DefaultDesign) {
  const TStringList expected = {
      "  body {", "    margin-left:0px;", "    margin-top:0px;", "    margin-right:0px;", "    margin-bottom: 0px;",
      "    background:white;", "  }",
      "  .loginform {", "    height:18px;", "    width:100px;", "  }",
      "  .loginbutton {", "    height:18px;", "    width:100px;", "  }",
      "  .titlecell {", "    vertical-align:top;", "    text-align:left;", "    font-size:x-small;", "    color:black;",
      "    width:800px;", "    background-color:white;", "  }",
      "  .largecell {", "    width:800px;", "    font-size:x-small;", "    table-layout: fixed;", "  }",
      "  .navicell {", "    vertical-align:top;", "    width:150px;", "    font-size:x-small;", "    color:black;",
      "    background:white;", "    table-layout: fixed;", "  }",
      "  .subcell {", "    vertical-align:top;", "    width:100px;", "    font-size:x-small;", "    color:black;",
      "    background:white;", "    table-layout: fixed;", "  }",
      "  .sidebox {", "    margin:0px; padding:0px;", "    vertical-align:top;", "    width:100px;", "  }",
      "  .contentcell {", "    width:100%;", "    vertical-align:top;", "    font-size:small;", "    color:black;",
      "    background:white;", "    table-layout: fixed;", "  }",
      "  .settingcell {", "    width:100%;", "    vertical-align:top;", "    font-size:x-small;", "    color:black;",
      "    background:white;", "    table-layout: fixed;", "  }",
      "  .update {", "    text-align:right;", "    color:silver;", "    font-size:xx-small;", "  }",
      "  .logdate {", "    font-size:x-small;", "    color:black;", "  }",
      "  .logcategory {", "    font-size:x-small;", "    color:black;", "  }",
      "  .logtopic {", "    color:black;", "    font-weight:bold;", "    font-size:medium;", "  }",
      "  .logcontent {", "    color:black;", "    font-size:x-small;", "  }",
      "  .keyvc {", "    position:absolute;", "    font-size:10pt;", "    visibility:hidden;", " }",
      "  .pt {", "    color:black;", "    border:black none 1px;", " }",
      "  .ctable {", "    font-size:x-small;", "    text-align:right;", "  }",
  };
  EXPECT_EQ(Sheet(), expected);
}

TEST_F(StyleSheetTest, EmptyValuesDropTheirLinesButNotTheFixedOnes) {
  css.BACKGROUND = "";
  css.TITLECOLOR = css.TITLEBACKGROUND = css.MENULOGCOLOR = css.MENUBACKGROUND = "";
  css.CONTENTLOGCOLOR = css.CONTENTTITLECOLOR = "";
  const TStringList page = Sheet();
  EXPECT_TRUE(Has(page, "    background:;"));  // the page background is always written
  EXPECT_EQ(Rule(page, "  .titlecell {"),
            (TStringList{"  .titlecell {", "    vertical-align:top;", "    text-align:left;", "    font-size:x-small;",
                         "    width:800px;", "  }"}));
  EXPECT_EQ(Rule(page, "  .navicell {"), (TStringList{"  .navicell {", "    vertical-align:top;", "    width:150px;",
                                                      "    font-size:x-small;", "    table-layout: fixed;", "  }"}));
  EXPECT_EQ(Rule(page, "  .pt {"), (TStringList{"  .pt {", "    border:black none 1px;", " }"}));
  EXPECT_EQ(Rule(page, "  .logtopic {"),
            (TStringList{"  .logtopic {", "    font-weight:bold;", "    font-size:medium;", "  }"}));
}

TEST_F(StyleSheetTest, WidthsHeightsAndTitleOptions) {
  css.TIMAGEHEIGHT = 120;
  css.TITLEREPEAT = "no-repeat";
  css.TITLEALIGN = "center top";
  TStringList page = Sheet({"90%", 170, 90});
  EXPECT_EQ(Rule(page, "  .titlecell {"),
            (TStringList{"  .titlecell {", "    vertical-align:top;", "    text-align:left;", "    font-size:x-small;",
                         "    color:black;", "    width:90%;", "    height:120px;", "    background-repeat:no-repeat;",
                         "    background-position:center top;", "    background-color:white;", "  }"}));
  EXPECT_TRUE(Has(page, "    width:170px;"));
  EXPECT_EQ(std::count(page.begin(), page.end(), "    width:90px;"), 2);  // subcell and sidebox
  EXPECT_EQ(Rule(page, "  .largecell {")[1], "    width:90%;");
  for (int h : {0, -1}) {
    css.TIMAGEHEIGHT = h;
    const TStringList title = Rule(Sheet(), "  .titlecell {");
    EXPECT_FALSE(std::any_of(title.begin(), title.end(), [](const std::string& l) { return l.find("height:") == 4; })) << h;
  }
  css.TIMAGEHEIGHT = -2;
  EXPECT_TRUE(Has(Sheet(), "    height:-2px;"));
}

TEST_F(StyleSheetTest, SiteImages) {
  sys.IMAGEPATH = "/pics/";
  Touch("img/velmbackground.png");
  Touch("img/velmbackground.gif");
  TStringList page = Sheet();
  EXPECT_TRUE(Has(page, "    background:url(/pics/demo/velmbackground.gif);"));

  // Uploads keep the extension as sent: found without regard to case, linked by the name on disk.
  Touch("img/TitleImage.JPG");
  Touch("img/titleimage.png");
  page = Sheet();
  EXPECT_TRUE(Has(page, "    background-image:url(/pics/demo/TitleImage.JPG);"));
  EXPECT_FALSE(std::any_of(page.begin(), page.end(),
                           [](const std::string& l) { return l.find("background-color:") != std::string::npos; }));
  fs::remove(dir + "img/TitleImage.JPG");
  EXPECT_TRUE(Has(Sheet(), "    background-image:url(/pics/demo/titleimage.png);"));

  // A folder of that name is no image; a missing image folder is no error.
  fs::remove(dir + "img/velmbackground.gif");
  fs::remove(dir + "img/velmbackground.png");
  fs::create_directories(dir + "img/velmbackground.jpg");
  EXPECT_TRUE(Has(Sheet(), "    background:white;"));
  fs::remove_all(dir + "img");
  EXPECT_TRUE(Has(Sheet(), "    background-color:white;"));
}

TEST_F(StyleSheetTest, CustomCssComesLast) {
  Touch("acc/customcss.txt", ".x { color:red; }\r\n.y {}");
  const TStringList page = Sheet();
  ASSERT_GE(page.size(), 3u);
  EXPECT_EQ(page[page.size() - 2], "");
  EXPECT_EQ(page.back(), ".x { color:red; }\r\n.y {}");
  EXPECT_EQ(page[page.size() - 3], "  }");
}

}  // namespace
