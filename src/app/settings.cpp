// velm.ini, account.ini, title.txt, customfooter.txt and customjava.txt.
#include "app/settings.h"

#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {

// The value of the first line that begins with key (case-insensitive); found tells whether any did.
std::string KeyValue(const TStringList& lines, const std::string& key, bool& found) {
  for (const auto& line : lines) {
    if (StartsText(key, line)) {
      found = true;
      return line.substr(key.size());
    }
  }
  found = false;
  return "";
}

void ReadText(const TStringList& lines, const char* key, std::string& value) {
  bool found;
  std::string v = KeyValue(lines, key, found);
  if (found) value = v;
}

void ReadNumber(const TStringList& lines, const char* key, int& value) {
  bool found;
  std::string v = KeyValue(lines, key, found);
  if (!found) return;
  std::string digits;
  for (char c : v)
    if (c != ' ' && c != '\t') digits += c;
  long long n;
  if (StrToIntStrict(digits, n) && n >= INT32_MIN && n <= INT32_MAX) value = static_cast<int>(n);
}

void ReadSwitch(const TStringList& lines, const char* key, bool& value) {
  bool found;
  std::string v = KeyValue(lines, key, found);
  value = found && UpperCase(v) == "ON";
}

// Lines strictly between the first start marker and the end marker (markers are line prefixes,
// compared without case).
TStringList Block(const TStringList& lines, const std::string& start, const std::string& end) {
  TStringList out;
  bool collecting = false;
  for (const auto& line : lines) {
    if (StartsText(end, line)) break;
    if (!collecting) {
      if (StartsText(start, line)) collecting = true;
      continue;
    }
    out.push_back(line);
  }
  return out;
}

TUpFileInfo JpegLike(const std::string& ext) {
  TUpFileInfo u;
  u.Ext = ext;
  const std::string a = "<a href=\"<VELMPATH>\" target=\"_blank\"><img src=\"<VELMPATH>\" width=\"<SIMAGEWIDTH>\" alt=\"photo\"";
  const std::string sized = a + "<EXIF>></a>";
  u.Temp[0] = sized;
  u.Temp[1] = sized;
  u.Temp[2] = "<div align=\"right\">" + sized + "</div>";
  u.Temp[3] = "<div align=\"center\">" + sized + "</div>";
  u.Temp[4] = a + " style=\"float:left\"<EXIF>></a>";
  u.Temp[5] = a + " style=\"float:right\"<EXIF>></a>";
  const std::string full = "<img src=\"<VELMPATH>\" alt=\"photo\"<EXIF>>";
  u.Temp[6] = full;
  u.Temp[7] = full;
  u.Temp[8] = "<div align=\"right\">" + full + "</div>";
  u.Temp[9] = "<div align=\"center\">" + full + "</div>";
  u.Temp[10] = "<img src=\"<VELMPATH>\" alt=\"photo\" style=\"float:left\"<EXIF>>";
  u.Temp[11] = "<img src=\"<VELMPATH>\" alt=\"photo\" style=\"float:right\"<EXIF>>";
  return u;
}

void ReadUpFileTypes(const TStringList& lines, TSystemSettings& s) {
  TCSVList csv;
  csv.SetLine(s.UPFILEEXT);
  for (int i = 0; i < csv.Count(); ++i) {
    TUpFileInfo u;
    u.Ext = UpperCase(csv.Item(i));
    TStringList b = Block(lines, "UPFILEINFOSTART-" + u.Ext, "UPFILEINFOEND-" + u.Ext);
    if (!b.empty()) {
      auto line = [&](size_t n) { return n < b.size() ? b[n] : std::string(); };
      u.Temp[0] = line(0);
      u.Temp[1] = "<div align=\"left\">" + line(1) + "</div>";
      u.Temp[2] = "<div align=\"right\">" + line(2) + "</div>";
      u.Temp[3] = "<div align=\"center\">" + line(3) + "</div>";
      u.Temp[4] = line(4);
      u.Temp[5] = line(5);
      for (int t = 0; t < 6; ++t) u.Temp[t + 6] = u.Temp[t];
    }
    s.UpFileInfo.push_back(u);
  }
}

template <class T>
std::vector<T> PairBlock(const TStringList& lines, const char* start, const char* end) {
  std::vector<T> out;
  TCSVList csv;
  for (const auto& line : Block(lines, start, end)) {
    csv.SetLine(line);
    T e;
    if (csv.Count() == 2) {
      e.Name = csv.Item(0);
      e.Text = csv.Item(1);
    }
    out.push_back(e);
  }
  return out;
}

void ReadUpdatePingTypes(const TStringList& lines, TSystemSettings& s) {
  const std::string startKey = "UPDATEPINGTYPESTART=";
  TCSVList csv;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (UpperCase(lines[i].substr(0, startKey.size())) != startKey) continue;
    csv.SetLine(lines[i].substr(startKey.size()));
    size_t j = i + 1;
    TStringList body;
    while (j < lines.size() && !StartsText("UPDATEPINGTYPEEND", lines[j])) body.push_back(lines[j++]);
    if (csv.Count() >= 5) {
      TUpdatePingXML p;
      for (int f = 0; f < 4; ++f) p.Field[f] = csv.Item(f);
      p.Field[4] = JoinLines(body, "\r\n");
      p.Field[5] = csv.Item(4);
      p.Field[6] = csv.Item(5);
      s.UpdatePingXML.push_back(p);
    }
    i = j;  // continue after the end line
  }
}

}  // namespace

void DefaultSystemSettings(const std::string& exeFolder, TSystemSettings& s) {
  s = TSystemSettings();
  s.DATAFOLDER = exeFolder + "velmsystem/";
  s.UpFileInfo = {JpegLike(".JPG"), JpegLike(".GIF"), JpegLike(".PNG")};
}

bool ReadSystemSettings(const std::string& exeFolder, TSystemSettings& s) {
  DefaultSystemSettings(exeFolder, s);
  TStringList lines;
  if (!LoadLinesFromFile(exeFolder + "velm.ini", lines) && !FileExists(exeFolder + "velm.ini"))
    return false;

  ReadText(lines, "CHARSET=", s.CHARSET);
  ReadText(lines, "ONLINEHELPLINK=", s.ONLINEHELPLINK);
  ReadText(lines, "MONTHMARK=", s.MONTHMARK);
  ReadText(lines, "CATEGORYMARK=", s.CATEGORYMARK);
  ReadText(lines, "COMMENTMARK=", s.COMMENTMARK);
  ReadText(lines, "CONTENTMARK=", s.CONTENTMARK);
  ReadText(lines, "LINKMARK=", s.LINKMARK);
  ReadText(lines, "PHOTOMARK=", s.PHOTOMARK);
  ReadSwitch(lines, "USECUSTOMMENU=", s.USECUSTOMMENU);
  ReadSwitch(lines, "USECUSTOMFOOTER=", s.USECUSTOMFOOTER);
  ReadSwitch(lines, "USESIDEMENURSS=", s.USESIDEMENURSS);
  ReadSwitch(lines, "USECONTENTCOUNTER=", s.USECONTENTCOUNTER);
  ReadSwitch(lines, "USELINKSUPPORT=", s.USELINKSUPPORT);
  ReadSwitch(lines, "USELINKBANNER=", s.USELINKBANNER);
  ReadSwitch(lines, "USEEDITDATE=", s.USEEDITDATE);
  ReadSwitch(lines, "USELOGINHEADER=", s.USELOGINHEADER);
  ReadNumber(lines, "SEARCHRESULTCOUNT=", s.SEARCHRESULTCOUNT);
  ReadText(lines, "ALLNEWSNAME=", s.ALLNEWSNAME);
  ReadNumber(lines, "ALLNEWSCOUNT=", s.ALLNEWSCOUNT);
  std::string data;
  ReadText(lines, "DATAFOLDER=", data);
  if (!data.empty()) {
    if (data[0] != '/') data = exeFolder + data;  // relative to the executable's folder
    s.DATAFOLDER = IncludeTrailingSlash(data);
  }
  ReadText(lines, "IMAGEPATH=", s.IMAGEPATH);
  ReadText(lines, "LARGECELLWIDTH=", s.LARGECELLWIDTH);
  ReadNumber(lines, "NAVICELLWIDTH=", s.NAVICELLWIDTH);
  ReadNumber(lines, "SUBCELLWIDTH=", s.SUBCELLWIDTH);
  ReadNumber(lines, "ATTACHMAXSIZE=", s.ATTACHMAXSIZE);
  ReadNumber(lines, "ATTACHALLSIZE=", s.ATTACHALLSIZE);
  ReadNumber(lines, "ATTACHMAXCOUNT=", s.ATTACHMAXCOUNT);
  ReadNumber(lines, "MAXCOMMENTFOLDING=", s.MAXCOMMENTFOLDING);
  ReadNumber(lines, "MAXMONTHFOLDING=", s.MAXMONTHFOLDING);
  ReadNumber(lines, "BANNERMAXSIZE=", s.BANNERMAXSIZE);
  ReadNumber(lines, "BACKUPTIME=", s.BACKUPTIME);
  ReadText(lines, "UPFILEEXT=", s.UPFILEEXT);
  ReadNumber(lines, "SIDEMENUCONTROL=", s.SIDEMENUCONTROL);
  ReadNumber(lines, "EDITCOLS=", s.EDITCOLS);
  ReadText(lines, "SYSTEMALIGN=", s.SYSTEMALIGN);
  ReadText(lines, "SYSTEMURL=", s.SYSTEMURL);
  ReadNumber(lines, "SIDEMENUMAX=", s.SIDEMENUMAX);
  ReadNumber(lines, "RSSDESCLENGTH=", s.RSSDESCLENGTH);
  ReadText(lines, "COMMENTDEFAULTNAME=", s.COMMENTDEFAULTNAME);
  ReadNumber(lines, "UPDATEPINGSENDSPAMTIME=", s.UPDATEPINGSENDSPAMTIME);
  ReadSwitch(lines, "USEHTTPS=", s.USEHTTPS);
  ReadText(lines, "HTTPSCAFILE=", s.HTTPSCAFILE);
  for (auto [key, value] : {std::pair{"NETCONNECTTIMEOUT=", &s.NETCONNECTTIMEOUT}, {"NETTIMEOUT=", &s.NETTIMEOUT},
                            {"RSSREADTIMEOUT=", &s.RSSREADTIMEOUT}, {"MAILTIMEOUT=", &s.MAILTIMEOUT}}) {
    const int def = *value;
    ReadNumber(lines, key, *value);
    if (*value < 1) *value = def;  // a wait without end is never configured
  }
  ReadText(lines, "SMTPSERVER=", s.SMTPSERVER);
  ReadText(lines, "SMTPFROM=", s.SMTPFROM);
  ReadText(lines, "SMTPAUTHTYPE=", s.SMTPAUTHTYPE);
  ReadText(lines, "SMTPACCOUNT=", s.SMTPACCOUNT);
  ReadText(lines, "SMTPPASSWORD=", s.SMTPPASSWORD);

  if (s.MAXCOMMENTFOLDING < 2) s.MAXCOMMENTFOLDING = 2;
  if (s.MAXMONTHFOLDING < 2) s.MAXMONTHFOLDING = 2;
  if (s.RSSDESCLENGTH < 10) s.RSSDESCLENGTH = 10;
  s.SysLargeCellWidth = s.LARGECELLWIDTH;
  s.SysNaviCellWidth = s.NAVICELLWIDTH;
  s.SysSubCellWidth = s.SUBCELLWIDTH;

  ReadUpFileTypes(lines, s);

  s.ColorList = {{"未指定", ""}, {"黒", "black"}, {"白", "white"}};
  TCSVList csv;
  for (const auto& line : Block(lines, "TEMPCOLORSTART", "TEMPCOLOREND")) {
    csv.SetLine(line);
    if (csv.Count() == 2)
      s.ColorList.push_back({csv.Item(0), csv.Item(1)});
    else
      s.ColorList.push_back({"---", "black"});
  }
  s.ContentTempList = PairBlock<TContentTemp>(lines, "TEMPCONTENTSTART", "TEMPCONTENTEND");
  s.NaviTempList = PairBlock<TContentTemp>(lines, "TEMPNAVISTART", "TEMPNAVIEND");
  s.CommentTempList = PairBlock<TContentTemp>(lines, "TEMPCOMMENTSTART", "TEMPCOMMENTEND");
  s.TagTempList = PairBlock<TReserveTag>(lines, "TEMPTAGSTART", "TEMPTAGEND");

  for (int n = 1; n <= s.SIDEMENUMAX; ++n) {
    const std::string no = std::to_string(n);
    TStringList b = Block(lines, "DEFAULTSIDEMENU" + no + "START", "DEFAULTSIDEMENU" + no + "END");
    if (!b.empty()) s.DefaultSideMenu.push_back({n, JoinLines(b, "\r\n")});
  }
  ReadUpdatePingTypes(lines, s);
  return true;
}

bool ReadAccountList(const std::string& dataFolder, TAccountList& list) {
  list.clear();
  TStringList lines;
  if (!LoadLinesFromFile(dataFolder + "account.ini", lines) || lines.empty()) return false;
  TCSVList csv;
  for (const auto& raw : lines) {
    std::string line = Trim(raw);
    if (!line.empty() && line[0] == ';') continue;
    csv.SetLine(line);
    if (csv.Count() < 3) continue;
    TAccountType a;
    a.Id = csv.Item(0);
    a.LoginName = csv.Item(1);
    a.Password = csv.Item(2);
    a.UploadSpace = csv.Item(3) == "1";
    a.ForwardURL = csv.Item(4);
    list.push_back(a);
  }
  return true;
}

void ReadTitleFile(const std::string& accountFolder, TAccountType& a) {
  a.Title = "No Title";
  a.Description.clear();
  TStringList lines;
  if (!LoadLinesFromFile(accountFolder + "title.txt", lines) || lines.empty()) return;
  a.Title = lines[0];
  if (lines.size() > 1) a.Description = lines[1];
}

std::string ReadCustomFooter(const std::string& accountFolder) {
  std::string text;
  LoadTextFromFile(accountFolder + "customfooter.txt", text);
  return text;
}

TStringList ReadCustomJava(const std::string& accountFolder) {
  TStringList lines;
  LoadLinesFromFile(accountFolder + "customjava.txt", lines);
  return lines;
}
