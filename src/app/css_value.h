// The account's design settings: style.txt and usercolor.txt.
#pragma once
#include <string>
#include <vector>

#include "app/settings.h"

struct TCSSValue {
  std::string BACKGROUND = "white", MENUBACKGROUND = "white", MENULOGCOLOR = "black",
              MENUBACKGROUND2 = "white", MENULOGCOLOR2 = "black", CONTENTDATECOLOR = "black",
              CONTENTBACKGROUND = "white", CONTENTLOGCOLOR = "black";
  int CONTENTVIEWCOUNT = 5;
  std::string CONTENTTITLECOLOR = "black", CONTENTTITLESIZE = "medium", CONTENTLOGSIZE = "small",
              CONTENTDATESIZE = "x-small", CONTENTCATEGORYSIZE = "x-small",
              LOGCONTENTCOLOR = "black", LOGCONTENTSIZE = "x-small", COMMENTANCHORSIZE = "x-small",
              TRACKBACKANCHORSIZE = "x-small", TITLEBACKGROUND = "white";
  int SIMAGEWIDTH = 240, TIMAGEHEIGHT = 0, LAYOUTTYPE = 0;
  std::string CONTENTTEMPNAME, MENUTEMPNAME, COMMENTTEMPNAME;
  std::string LinkTempName;  // never read from the file
  std::string TITLECOLOR = "black", CONTENTCATEGORYCOLOR = "black";
  int TIMETYPE = 1;
  bool USECOMMENT = false, USEVIEWCOMMENT = false;
  int COMMENTLIMIT = 0;
  bool USETRACKBACK = false;
  int ACCESSLOGTYPE = 0;
  std::string USEREMAIL, VIEWPASSWORD;
  bool USECATEGORYRSS = false, USEKEYIMAGE = false, USETOPPAGE = false;
  int COMMENTFOLDING = 2, MONTHFOLDING = 2;
  std::string USERALIGN;
  bool USECUSTOMMENU = false;
  int LARGESPACING = 0;
  int CellPadding = 0;  // always 0
  std::string TITLEREPEAT, TITLEALIGN;
  int ALBUMVIEWCOUNT = 5, ALBUMPHOTOMETHOD = 0, ALBUMVIEWCOLUMN = 2;
  bool USECUSTOMJAVA = false;
  std::string PHOTOFRAMECOLOR = "black", PHOTOFRAMETYPE = "none";
  int PHOTOFRAMEWIDTH = 1, CONTENTSKIPMETHOD = 0, CONTENTSKIPLENGTH = 200;
  int Reserved = 0;
  int SINGLELOGTITLE = 0;
  bool UPDATEPINGDEFAULT = false;
  std::string RSSVERSION = "2.0";
  bool CATEGORYCONTENTLIST = false;
  TColorList UserColors;
  std::string DEFAULTPAGE;
};

// Reads accountFolder + "style.txt" and "usercolor.txt" and applies the rules after reading
// (DEFAULTPAGE=, SIDEMENUCONTROL=, CONTENTSKIPLENGTH=). Missing files give the defaults.
TCSSValue ReadDesign(const std::string& accountFolder, int sideMenuControl);
