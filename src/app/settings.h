// velm.ini, account.ini, title.txt and the small per-account text files.
#pragma once
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

// One upload type: extension (upper case, with dot) and twelve markup templates.
struct TUpFileInfo {
  std::string Ext;
  std::string Temp[12];
};
using TUpFileInfoList = std::vector<TUpFileInfo>;

struct TColorType { std::string Name, Value; };
struct TContentTemp { std::string Name, Text; };
struct TReserveTag { std::string Name, Text; };
struct TDefaultSideMenu { int No = 0; std::string Text; };
struct TUpdatePingXML { std::string Field[7]; };

using TColorList = std::vector<TColorType>;
using TContentTempList = std::vector<TContentTemp>;
using TReserveTagList = std::vector<TReserveTag>;
using TDefaultSideMenuList = std::vector<TDefaultSideMenu>;
using TUpdatePingXMLList = std::vector<TUpdatePingXML>;

struct TSystemSettings {
  std::string CHARSET = "shift_jis";
  std::string ONLINEHELPLINK;
  std::string MONTHMARK = "■", CATEGORYMARK = "▼", COMMENTMARK = "▼", CONTENTMARK = "▼",
              LINKMARK = "▼", PHOTOMARK = "＠";
  bool USECUSTOMMENU = false, USECUSTOMFOOTER = false, USESIDEMENURSS = false,
       USECONTENTCOUNTER = false, USELINKSUPPORT = false, USELINKBANNER = false,
       USEEDITDATE = false, USELOGINHEADER = false;
  int SEARCHRESULTCOUNT = 30;
  std::string ALLNEWSNAME;
  int ALLNEWSCOUNT = 10;
  std::string DATAFOLDER;            // ends in "/"
  std::string IMAGEPATH = "./images/";
  std::string LARGECELLWIDTH = "800";
  int NAVICELLWIDTH = 150, SUBCELLWIDTH = 100;
  int ATTACHMAXSIZE = 512000, ATTACHALLSIZE = 512000, ATTACHMAXCOUNT = 10;
  int MAXCOMMENTFOLDING = 2, MAXMONTHFOLDING = 2;
  int BANNERMAXSIZE = 1024000, BACKUPTIME = 1440;
  std::string UPFILEEXT;
  int SIDEMENUCONTROL = 0, EDITCOLS = 55;
  std::string SYSTEMALIGN = "center", SYSTEMURL;
  int SIDEMENUMAX = 5, RSSDESCLENGTH = 40;
  std::string COMMENTDEFAULTNAME;
  int UPDATEPINGSENDSPAMTIME = 15;

  // Outgoing connections: https (verified against the system's CA store and HTTPSCAFILE=),
  // time-outs in seconds, and the mail server of the comment notice.
  bool USEHTTPS = false;
  std::string HTTPSCAFILE;
  int NETCONNECTTIMEOUT = 10, NETTIMEOUT = 30, RSSREADTIMEOUT = 20, MAILTIMEOUT = 10;
  std::string SMTPSERVER, SMTPFROM, SMTPAUTHTYPE, SMTPACCOUNT, SMTPPASSWORD;

  // The system widths kept aside for the administration frame.
  std::string SysLargeCellWidth = "800";
  int SysNaviCellWidth = 150, SysSubCellWidth = 100;

  TUpFileInfoList UpFileInfo;
  TColorList ColorList;
  TContentTempList ContentTempList, NaviTempList, CommentTempList;
  TReserveTagList TagTempList;
  TDefaultSideMenuList DefaultSideMenu;
  TUpdatePingXMLList UpdatePingXML;
};

struct TAccountType {
  std::string LoginName, Password, Id, Title, Description;
  bool UploadSpace = false;
  std::string ForwardURL;
};
using TAccountList = std::vector<TAccountType>;

// Fills the built-in state, then reads exeFolder + "velm.ini". False when it is missing.
bool ReadSystemSettings(const std::string& exeFolder, TSystemSettings& s);
// Fills the built-in state only (what a request has before velm.ini is read).
void DefaultSystemSettings(const std::string& exeFolder, TSystemSettings& s);
bool ReadAccountList(const std::string& dataFolder, TAccountList& list);
void ReadTitleFile(const std::string& accountFolder, TAccountType& a);
std::string ReadCustomFooter(const std::string& accountFolder);
TStringList ReadCustomJava(const std::string& accountFolder);
