#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/css_value.h"
#include "app/settings.h"

namespace fs = std::filesystem;

namespace {

class SettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velm-settings-XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
  }
  void TearDown() override { fs::remove_all(dir); }
  void Write(const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(dir + name).parent_path());
    std::ofstream(dir + name, std::ios::binary) << text;
  }
  TSystemSettings Read(const std::string& ini) {
    Write("velm.ini", ini);
    TSystemSettings s;
    EXPECT_TRUE(ReadSystemSettings(dir, s));
    return s;
  }
  std::string dir;
};

TEST_F(SettingsTest, MissingFileFailsAndDefaultsHold) {
  TSystemSettings s;
  EXPECT_FALSE(ReadSystemSettings(dir, s));
  s = Read("");
  EXPECT_EQ(s.CHARSET, "shift_jis");
  EXPECT_EQ(s.DATAFOLDER, dir + "velmsystem/");
  EXPECT_EQ(s.IMAGEPATH, "./images/");
  EXPECT_EQ(s.MONTHMARK, "■");
  EXPECT_EQ(s.PHOTOMARK, "＠");
  EXPECT_EQ(s.SEARCHRESULTCOUNT, 30);
  EXPECT_EQ(s.ATTACHMAXSIZE, 512000);
  EXPECT_EQ(s.BANNERMAXSIZE, 1024000);
  EXPECT_EQ(s.SIDEMENUMAX, 5);
  ASSERT_EQ(s.UpFileInfo.size(), 3u);
  EXPECT_EQ(s.UpFileInfo[1].Ext, ".GIF");
  EXPECT_EQ(s.UpFileInfo[2].Temp[5], s.UpFileInfo[0].Temp[5]);
  EXPECT_EQ(s.UpFileInfo[0].Temp[2],
            "<div align=\"right\"><a href=\"<VELMPATH>\" target=\"_blank\"><img src=\"<VELMPATH>\" "
            "width=\"<SIMAGEWIDTH>\" alt=\"photo\"<EXIF>></a></div>");
  EXPECT_EQ(s.UpFileInfo[0].Temp[11], "<img src=\"<VELMPATH>\" alt=\"photo\" style=\"float:right\"<EXIF>>");
  ASSERT_EQ(s.ColorList.size(), 3u);
  EXPECT_EQ(s.ColorList[0].Name, "未指定");
  EXPECT_EQ(s.ColorList[2].Value, "white");
}

TEST_F(SettingsTest, KeysNumbersSwitchesAndBounds) {
  TSystemSettings s = Read(
      "charset=utf-8\r\nCHARSET=euc-jp\r\nEDITCOLS=6 0\r\nSEARCHRESULTCOUNT=abc\r\nRSSDESCLENGTH=5\r\n"
      "MAXMONTHFOLDING=0\r\nMAXCOMMENTFOLDING=7\r\nuselinkbanner=on\r\nUSELINKSUPPORT=1\r\n"
      "USECUSTOMMENU=On\r\nLARGECELLWIDTH=90%\r\nNAVICELLWIDTH=\t170 \r\nSYSTEMURL=http://x/ \r\n"
      "UNKNOWNKEY=1\r\nDATAFOLDER=data\r\n");
  EXPECT_EQ(s.CHARSET, "utf-8");  // the first line wins, keys without case
  EXPECT_EQ(s.EDITCOLS, 60);
  EXPECT_EQ(s.SEARCHRESULTCOUNT, 30);
  EXPECT_EQ(s.RSSDESCLENGTH, 10);
  EXPECT_EQ(s.MAXMONTHFOLDING, 2);
  EXPECT_EQ(s.MAXCOMMENTFOLDING, 7);
  EXPECT_TRUE(s.USELINKBANNER);
  EXPECT_FALSE(s.USELINKSUPPORT);
  EXPECT_TRUE(s.USECUSTOMMENU);
  EXPECT_EQ(s.LARGECELLWIDTH, "90%");
  EXPECT_EQ(s.SysLargeCellWidth, "90%");
  EXPECT_EQ(s.NAVICELLWIDTH, 170);
  EXPECT_EQ(s.SysNaviCellWidth, 170);
  EXPECT_EQ(s.SYSTEMURL, "http://x/ ");  // text values are not trimmed
  EXPECT_EQ(s.DATAFOLDER, dir + "data/");
}

TEST_F(SettingsTest, Blocks) {
  TSystemSettings s = Read(
      "TEMPCOLORSTART\r\n\"空\",\"#87ceeb\"\r\nbroken\r\nTEMPCOLOREND\r\n"
      "TEMPCONTENTSTART\r\n\"日記\",\"今日は\"\r\nonefield\r\n\"a\",\"b\"\r\ntempcontentend\r\n"
      "DEFAULTSIDEMENU2START\r\n<b>x</b>\r\n<i>y</i>\r\nDEFAULTSIDEMENU2END\r\n"
      "DEFAULTSIDEMENU3START\r\nDEFAULTSIDEMENU3END\r\n"
      "UPFILEEXT=.pdf,\".TXT\"\r\n"
      "UPFILEINFOSTART-.PDF\r\nL1\r\nL2\r\nL3\r\nL4\r\nL5\r\nL6\r\nUPFILEINFOEND-.PDF\r\n"
      "UPDATEPINGTYPESTART=\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n<x>\r\n<y>\r\nUPDATEPINGTYPEEND\r\n"
      "UPDATEPINGTYPESTART=\"short\",\"b\"\r\nbody\r\nUPDATEPINGTYPEEND\r\n"
      "updatepingtypestart=\"1\",\"2\",\"3\",\"4\",\"5\"\r\nUPDATEPINGTYPEEND\r\n");
  ASSERT_EQ(s.ColorList.size(), 5u);
  EXPECT_EQ(s.ColorList[3].Name, "空");
  EXPECT_EQ(s.ColorList[4].Name, "---");
  EXPECT_EQ(s.ColorList[4].Value, "black");
  ASSERT_EQ(s.ContentTempList.size(), 3u);
  EXPECT_EQ(s.ContentTempList[0].Text, "今日は");
  EXPECT_EQ(s.ContentTempList[1].Name, "");
  ASSERT_EQ(s.DefaultSideMenu.size(), 1u);
  EXPECT_EQ(s.DefaultSideMenu[0].No, 2);
  EXPECT_EQ(s.DefaultSideMenu[0].Text, "<b>x</b>\r\n<i>y</i>");
  ASSERT_EQ(s.UpFileInfo.size(), 5u);
  EXPECT_EQ(s.UpFileInfo[3].Ext, ".PDF");
  EXPECT_EQ(s.UpFileInfo[3].Temp[0], "L1");
  EXPECT_EQ(s.UpFileInfo[3].Temp[1], "<div align=\"left\">L2</div>");
  EXPECT_EQ(s.UpFileInfo[3].Temp[3], "<div align=\"center\">L4</div>");
  EXPECT_EQ(s.UpFileInfo[3].Temp[9], "<div align=\"center\">L4</div>");
  EXPECT_EQ(s.UpFileInfo[3].Temp[11], "L6");
  EXPECT_EQ(s.UpFileInfo[4].Ext, ".TXT");
  EXPECT_EQ(s.UpFileInfo[4].Temp[0], "");  // no block
  ASSERT_EQ(s.UpdatePingXML.size(), 2u);
  EXPECT_EQ(s.UpdatePingXML[0].Field[3], "d");
  EXPECT_EQ(s.UpdatePingXML[0].Field[4], "<x>\r\n<y>");
  EXPECT_EQ(s.UpdatePingXML[0].Field[5], "e");
  EXPECT_EQ(s.UpdatePingXML[0].Field[6], "f");
  EXPECT_EQ(s.UpdatePingXML[1].Field[0], "1");
  EXPECT_EQ(s.UpdatePingXML[1].Field[4], "");
}

TEST_F(SettingsTest, AccountsAndTitle) {
  TAccountList list;
  EXPECT_FALSE(ReadAccountList(dir, list));
  Write("account.ini", "");
  EXPECT_FALSE(ReadAccountList(dir, list));
  Write("account.ini",
        "; comment,line,here\r\n  \"demo\",\"owner\",\"secret\"  \r\ntwo,fields\r\n"
        "\"big\",\"bigowner\",\"pw\",\"1\",\"http://elsewhere/\"\r\n\"demo\",\"second\",\"x\"\r\n");
  ASSERT_TRUE(ReadAccountList(dir, list));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Id, "demo");
  EXPECT_EQ(list[0].LoginName, "owner");
  EXPECT_EQ(list[0].Password, "secret");
  EXPECT_FALSE(list[0].UploadSpace);
  EXPECT_TRUE(list[1].UploadSpace);
  EXPECT_EQ(list[1].ForwardURL, "http://elsewhere/");

  TAccountType a;
  ReadTitleFile(dir, a);
  EXPECT_EQ(a.Title, "No Title");
  Write("title.txt", "私のブログ\r\n");
  ReadTitleFile(dir, a);
  EXPECT_EQ(a.Title, "私のブログ");
  EXPECT_EQ(a.Description, "");
  Write("title.txt", "T\r\nD\r\nmore\r\n");
  ReadTitleFile(dir, a);
  EXPECT_EQ(a.Description, "D");
  EXPECT_EQ(ReadCustomFooter(dir), "");
  Write("customfooter.txt", "<p>foot</p>\r\n");
  EXPECT_EQ(ReadCustomFooter(dir), "<p>foot</p>\r\n");
}

TEST_F(SettingsTest, DesignFile) {
  TCSSValue c = ReadDesign(dir, 0);
  EXPECT_EQ(c.BACKGROUND, "white");
  EXPECT_EQ(c.CONTENTVIEWCOUNT, 5);
  EXPECT_EQ(c.RSSVERSION, "2.0");
  Write("style.txt",
        "layouttype=3\r\nBACKGROUND=\r\nUSECOMMENT=1\r\nUSETRACKBACK=on\r\nCONTENTSKIPLENGTH=0\r\n"
        "DEFAULTPAGE=categoryall\r\nCONTENTVIEWCOUNT=x\r\nTIMAGEHEIGHT=-1\r\n");
  Write("usercolor.txt", "\"赤\",\"#ff0000\"\r\n;\"x\",\"y\"\r\n\"one\"\r\n\"青\",\"blue\"\r\n");
  c = ReadDesign(dir, 0);
  EXPECT_EQ(c.LAYOUTTYPE, 3);
  EXPECT_EQ(c.BACKGROUND, "");
  EXPECT_TRUE(c.USECOMMENT);
  EXPECT_FALSE(c.USETRACKBACK);
  EXPECT_EQ(c.CONTENTSKIPLENGTH, 200);
  EXPECT_EQ(c.DEFAULTPAGE, "");
  EXPECT_EQ(c.CONTENTVIEWCOUNT, 5);
  EXPECT_EQ(c.TIMAGEHEIGHT, -1);
  ASSERT_EQ(c.UserColors.size(), 2u);
  EXPECT_EQ(c.UserColors[1].Name, "青");
  EXPECT_EQ(ReadDesign(dir, 1).LAYOUTTYPE, 0);
  EXPECT_EQ(ReadDesign(dir, 2).LAYOUTTYPE, 3);
  Write("style.txt", "LAYOUTTYPE=1\r\nDEFAULTPAGE=abc\r\n");
  EXPECT_EQ(ReadDesign(dir, 2).LAYOUTTYPE, 2);
  EXPECT_EQ(ReadDesign(dir, 1).LAYOUTTYPE, 1);
  EXPECT_EQ(ReadDesign(dir, 0).DEFAULTPAGE, "abc");
}

}  // namespace
