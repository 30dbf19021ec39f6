// style.txt and usercolor.txt into TCSSValue.
#include "app/css_value.h"

#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {

class TStyleReader {
public:
  explicit TStyleReader(const TStringList& lines) : FLines(lines) {}

  void Text(const char* key, std::string& v) const {
    if (const std::string* s = Find(key)) v = *s;
  }
  void Number(const char* key, int& v) const {
    const std::string* s = Find(key);
    if (!s) return;
    std::string digits;
    for (char c : *s)
      if (c != ' ' && c != '\t') digits += c;
    long long n;
    if (StrToIntStrict(digits, n) && n >= INT32_MIN && n <= INT32_MAX) v = static_cast<int>(n);
  }
  void Switch(const char* key, bool& v) const {
    int n = 0;
    Number(key, n);
    v = n == 1 && Find(key);
  }

private:
  const std::string* Find(const char* key) const {
    const std::string k = key;
    for (const auto& line : FLines) {
      if (StartsText(k, line)) {
        FValue = line.substr(k.size());
        return &FValue;
      }
    }
    return nullptr;
  }
  const TStringList& FLines;
  mutable std::string FValue;
};

}  // namespace

TCSSValue ReadDesign(const std::string& accountFolder, int sideMenuControl) {
  TCSSValue c;
  TStringList lines;
  LoadLinesFromFile(accountFolder + "style.txt", lines);
  const TStyleReader r(lines);
  r.Text("BACKGROUND=", c.BACKGROUND);
  r.Text("MENUBACKGROUND=", c.MENUBACKGROUND);
  r.Text("MENULOGCOLOR=", c.MENULOGCOLOR);
  r.Text("MENUBACKGROUND2=", c.MENUBACKGROUND2);
  r.Text("MENULOGCOLOR2=", c.MENULOGCOLOR2);
  r.Text("CONTENTDATECOLOR=", c.CONTENTDATECOLOR);
  r.Text("CONTENTBACKGROUND=", c.CONTENTBACKGROUND);
  r.Text("CONTENTLOGCOLOR=", c.CONTENTLOGCOLOR);
  r.Number("CONTENTVIEWCOUNT=", c.CONTENTVIEWCOUNT);
  r.Text("CONTENTTITLECOLOR=", c.CONTENTTITLECOLOR);
  r.Text("CONTENTTITLESIZE=", c.CONTENTTITLESIZE);
  r.Text("CONTENTLOGSIZE=", c.CONTENTLOGSIZE);
  r.Text("CONTENTDATESIZE=", c.CONTENTDATESIZE);
  r.Text("CONTENTCATEGORYSIZE=", c.CONTENTCATEGORYSIZE);
  r.Text("LOGCONTENTCOLOR=", c.LOGCONTENTCOLOR);
  r.Text("LOGCONTENTSIZE=", c.LOGCONTENTSIZE);
  r.Text("COMMENTANCHORSIZE=", c.COMMENTANCHORSIZE);
  r.Text("TRACKBACKANCHORSIZE=", c.TRACKBACKANCHORSIZE);
  r.Text("TITLEBACKGROUND=", c.TITLEBACKGROUND);
  r.Number("SIMAGEWIDTH=", c.SIMAGEWIDTH);
  r.Number("TIMAGEHEIGHT=", c.TIMAGEHEIGHT);
  r.Number("LAYOUTTYPE=", c.LAYOUTTYPE);
  r.Text("CONTENTTEMPNAME=", c.CONTENTTEMPNAME);
  r.Text("MENUTEMPNAME=", c.MENUTEMPNAME);
  r.Text("COMMENTTEMPNAME=", c.COMMENTTEMPNAME);
  r.Text("TITLECOLOR=", c.TITLECOLOR);
  r.Text("CONTENTCATEGORYCOLOR=", c.CONTENTCATEGORYCOLOR);
  r.Number("TIMETYPE=", c.TIMETYPE);
  r.Switch("USECOMMENT=", c.USECOMMENT);
  r.Switch("USEVIEWCOMMENT=", c.USEVIEWCOMMENT);
  r.Number("COMMENTLIMIT=", c.COMMENTLIMIT);
  r.Switch("USETRACKBACK=", c.USETRACKBACK);
  r.Number("ACCESSLOGTYPE=", c.ACCESSLOGTYPE);
  r.Text("USEREMAIL=", c.USEREMAIL);
  r.Text("VIEWPASSWORD=", c.VIEWPASSWORD);
  r.Switch("USECATEGORYRSS=", c.USECATEGORYRSS);
  r.Switch("USEKEYIMAGE=", c.USEKEYIMAGE);
  r.Switch("USETOPPAGE=", c.USETOPPAGE);
  r.Number("COMMENTFOLDING=", c.COMMENTFOLDING);
  r.Number("MONTHFOLDING=", c.MONTHFOLDING);
  r.Text("USERALIGN=", c.USERALIGN);
  r.Switch("USECUSTOMMENU=", c.USECUSTOMMENU);
  r.Number("LARGESPACING=", c.LARGESPACING);
  r.Text("TITLEREPEAT=", c.TITLEREPEAT);
  r.Text("TITLEALIGN=", c.TITLEALIGN);
  r.Number("ALBUMVIEWCOUNT=", c.ALBUMVIEWCOUNT);
  r.Number("ALBUMPHOTOMETHOD=", c.ALBUMPHOTOMETHOD);
  r.Number("ALBUMVIEWCOLUMN=", c.ALBUMVIEWCOLUMN);
  r.Switch("USECUSTOMJAVA=", c.USECUSTOMJAVA);
  r.Text("PHOTOFRAMECOLOR=", c.PHOTOFRAMECOLOR);
  r.Text("PHOTOFRAMETYPE=", c.PHOTOFRAMETYPE);
  r.Number("PHOTOFRAMEWIDTH=", c.PHOTOFRAMEWIDTH);
  r.Number("CONTENTSKIPMETHOD=", c.CONTENTSKIPMETHOD);
  r.Number("CONTENTSKIPLENGTH=", c.CONTENTSKIPLENGTH);
  r.Number("SINGLELOGTITLE=", c.SINGLELOGTITLE);
  r.Switch("UPDATEPINGDEFAULT=", c.UPDATEPINGDEFAULT);
  r.Text("RSSVERSION=", c.RSSVERSION);
  r.Switch("CATEGORYCONTENTLIST=", c.CATEGORYCONTENTLIST);
  r.Text("DEFAULTPAGE=", c.DEFAULTPAGE);

  const std::string page = UpperCase(c.DEFAULTPAGE);
  if (page == "CATEGORYALL" || page == "CUSTOM") c.DEFAULTPAGE.clear();
  if (sideMenuControl == 1 && c.LAYOUTTYPE >= 2) c.LAYOUTTYPE = 0;
  if (sideMenuControl == 2 && (c.LAYOUTTYPE < 2 || c.LAYOUTTYPE > 7)) c.LAYOUTTYPE = 2;
  if (c.CONTENTSKIPLENGTH < 1) c.CONTENTSKIPLENGTH = 200;

  TStringList colors;
  LoadLinesFromFile(accountFolder + "usercolor.txt", colors);
  TCSVList csv;
  for (const auto& line : colors) {
    if (!line.empty() && line[0] == ';') continue;
    csv.SetLine(line);
    if (csv.Count() == 2) c.UserColors.push_back({csv.Item(0), csv.Item(1)});
  }
  return c;
}
