// velm.ini and style.txt as read into the settings, and the stylesheet of a design.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/css_value.h"
#include "app/settings.h"
#include "app/stylesheet.h"
#include "module_fixture.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
  void Write(const std::string& name, const std::string& text) { std::ofstream(dir + name, std::ios::binary) << text; }
  TModuleFixture f;
  std::string dir = f.Root;
};

TEST_F(SettingsTest, KeysNumbersSwitchesAndBlocks) {
  TSystemSettings s;
  Write("velm.ini",
        "charset=utf-8\r\nCHARSET=euc-jp\r\nEDITCOLS=6 0\r\nSEARCHRESULTCOUNT=abc\r\nRSSDESCLENGTH=5\r\nMAXMONTHFOLDING=0\r\n"
        "uselinkbanner=on\r\nUSELINKSUPPORT=1\r\nNAVICELLWIDTH=\t170 \r\nSYSTEMURL=http://x/ \r\nDATAFOLDER=data\r\n"
        "TEMPCOLORSTART\r\n\"空\",\"#87ceeb\"\r\nbroken\r\nTEMPCOLOREND\r\n"
        "DEFAULTSIDEMENU2START\r\n<b>x</b>\r\n<i>y</i>\r\nDEFAULTSIDEMENU2END\r\nDEFAULTSIDEMENU3START\r\nDEFAULTSIDEMENU3END\r\n"
        "UPFILEEXT=.pdf,\".TXT\"\r\nUPFILEINFOSTART-.PDF\r\nL1\r\nL2\r\nL3\r\nL4\r\nL5\r\nL6\r\nUPFILEINFOEND-.PDF\r\n");
  ASSERT_TRUE(ReadSystemSettings(dir, s));
  EXPECT_EQ(s.CHARSET, "utf-8");  // the first line wins, keys without case
  EXPECT_EQ(s.EDITCOLS, 60);
  EXPECT_EQ(s.SEARCHRESULTCOUNT, 30);
  EXPECT_EQ(s.RSSDESCLENGTH, 10);
  EXPECT_EQ(s.MAXMONTHFOLDING, 2);
  EXPECT_TRUE(s.USELINKBANNER && !s.USELINKSUPPORT);
  EXPECT_EQ(s.SysNaviCellWidth, 170);
  EXPECT_EQ(s.SYSTEMURL, "http://x/ ");  // text values are not trimmed
  EXPECT_EQ(s.DATAFOLDER, dir + "data/");
  ASSERT_EQ(s.ColorList.size(), 5u);  // three built in
  EXPECT_EQ(s.ColorList[3].Name + s.ColorList[4].Name + s.ColorList[4].Value, "空---black");
  ASSERT_EQ(s.DefaultSideMenu.size(), 1u);  // an empty box is none
  EXPECT_EQ(s.DefaultSideMenu[0].No, 2);
  EXPECT_EQ(s.DefaultSideMenu[0].Text, "<b>x</b>\r\n<i>y</i>");
  ASSERT_EQ(s.UpFileInfo.size(), 5u);  // three built in
  const TUpFileInfo& pdf = s.UpFileInfo[3];
  EXPECT_EQ(pdf.Ext + pdf.Temp[0] + pdf.Temp[11], ".PDFL1L6");
  EXPECT_EQ(pdf.Temp[1] + pdf.Temp[9], "<div align=\"left\">L2</div><div align=\"center\">L4</div>");
  EXPECT_EQ(s.UpFileInfo[4].Ext + s.UpFileInfo[4].Temp[0], ".TXT");  // no block
}

TEST_F(SettingsTest, StyleFileDefaultsAndAfterReadRules) {
  EXPECT_EQ(ReadDesign(dir, 0).CONTENTSKIPLENGTH, 200);
  Write("style.txt", "layouttype=3\r\nBACKGROUND=\r\nUSECOMMENT=1\r\nUSETRACKBACK=on\r\nCONTENTSKIPLENGTH=0\r\n"
                     "DEFAULTPAGE=categoryall\r\nCONTENTVIEWCOUNT=x\r\nTIMAGEHEIGHT=-1\r\nTITLEREPEAT=no-repeat\r\n"
                     "TITLEBACKGROUND=\r\n");
  const TCSSValue c = ReadDesign(dir, 0);
  EXPECT_EQ(c.LAYOUTTYPE, 3);
  EXPECT_EQ(c.BACKGROUND, "");
  EXPECT_TRUE(c.USECOMMENT && !c.USETRACKBACK);
  EXPECT_EQ(c.CONTENTSKIPLENGTH, 200);
  EXPECT_EQ(c.DEFAULTPAGE, "");
  EXPECT_EQ(c.CONTENTVIEWCOUNT, 5);
  EXPECT_EQ(c.TIMAGEHEIGHT, -1);
  // The stylesheet leaves out what the design turned off, except the page background line.
  TStringList sheet;
  WriteStyleSheet(sheet, {TSystemSettings(), {"90%", 170, 90}, "demo", dir, dir + "img/", c});
  const auto title = std::find(sheet.begin(), sheet.end(), "  .titlecell {");
  ASSERT_GE(sheet.end() - title, 8);
  EXPECT_EQ(TStringList(title, title + 8), (TStringList{"  .titlecell {", "    vertical-align:top;", "    text-align:left;",
                                                        "    font-size:x-small;", "    color:black;", "    width:90%;",
                                                        "    background-repeat:no-repeat;", "  }"}));
  EXPECT_NE(std::find(sheet.begin(), sheet.end(), "    background:;"), sheet.end());
  Write("style.txt", "DEFAULTPAGE=abc\r\n");
  EXPECT_EQ(ReadDesign(dir, 0).DEFAULTPAGE, "abc");
}

}  // namespace
