// The stylesheet of the blog pages and the administration frame.
#include "app/stylesheet.h"

#include "app/Unit1.h"
#include "store/file_access.h"

namespace {

// The site image `base` in the account's image folder: the first of .jpg, .gif, .png, file
// names matched without regard to case (uploads keep the extension as it was sent). The name
// as it is on disk, "" when there is none.
std::string SiteImage(const std::string& folder, const std::string& base) {
  return FindFileNoCase(folder, {base + ".jpg", base + ".gif", base + ".png"});
}

std::string WidthLine(const std::string& width) {
  if (width.find('%') != std::string::npos) return "    width:" + width + ";";
  return "    width:" + width + "px;";
}

void ColorLine(TStringList& page, const std::string& v) {
  if (!v.empty()) page.push_back("    color:" + v + ";");
}

void BackgroundLine(TStringList& page, const std::string& v) {
  if (!v.empty()) page.push_back("    background:" + v + ";");
}

}  // namespace

void WriteStyleSheet(TStringList& page, const TStyleSheetInput& in) {
  const TCSSValue& c = in.Css;
  const std::string imageURL = in.Sys.IMAGEPATH + in.AccountId + "/";
  const bool haveImageFolder = DirectoryExists(in.AccountImageFolder);
  const std::string background = haveImageFolder ? SiteImage(in.AccountImageFolder, "velmbackground") : "";
  const std::string title = haveImageFolder ? SiteImage(in.AccountImageFolder, "titleimage") : "";

  page.insert(page.end(), {"  body {", "    margin-left:0px;", "    margin-top:0px;", "    margin-right:0px;",
                           "    margin-bottom: 0px;"});
  page.push_back("    background:" + (background.empty() ? c.BACKGROUND : "url(" + imageURL + background + ")") + ";");
  page.push_back("  }");

  page.insert(page.end(), {"  .loginform {", "    height:18px;", "    width:100px;", "  }"});
  page.insert(page.end(), {"  .loginbutton {", "    height:18px;", "    width:100px;", "  }"});

  page.insert(page.end(), {"  .titlecell {", "    vertical-align:top;", "    text-align:left;", "    font-size:x-small;"});
  ColorLine(page, c.TITLECOLOR);
  page.push_back(WidthLine(in.Widths.Large));
  if (c.TIMAGEHEIGHT != 0 && c.TIMAGEHEIGHT != -1) page.push_back("    height:" + std::to_string(c.TIMAGEHEIGHT) + "px;");
  if (!c.TITLEREPEAT.empty()) page.push_back("    background-repeat:" + c.TITLEREPEAT + ";");
  if (!c.TITLEALIGN.empty()) page.push_back("    background-position:" + c.TITLEALIGN + ";");
  if (!title.empty())
    page.push_back("    background-image:url(" + imageURL + title + ");");
  else if (!c.TITLEBACKGROUND.empty())
    page.push_back("    background-color:" + c.TITLEBACKGROUND + ";");
  page.push_back("  }");

  page.insert(page.end(), {"  .largecell {", WidthLine(in.Widths.Large), "    font-size:x-small;",
                           "    table-layout: fixed;", "  }"});

  page.insert(page.end(), {"  .navicell {", "    vertical-align:top;",
                           "    width:" + std::to_string(in.Widths.Navi) + "px;", "    font-size:x-small;"});
  ColorLine(page, c.MENULOGCOLOR);
  BackgroundLine(page, c.MENUBACKGROUND);
  page.insert(page.end(), {"    table-layout: fixed;", "  }"});

  page.insert(page.end(), {"  .subcell {", "    vertical-align:top;",
                           "    width:" + std::to_string(in.Widths.Sub) + "px;", "    font-size:x-small;"});
  ColorLine(page, c.MENULOGCOLOR2);
  BackgroundLine(page, c.MENUBACKGROUND2);
  page.insert(page.end(), {"    table-layout: fixed;", "  }"});

  page.insert(page.end(), {"  .sidebox {", "    margin:0px; padding:0px;", "    vertical-align:top;",
                           "    width:" + std::to_string(in.Widths.Sub) + "px;", "  }"});

  page.insert(page.end(), {"  .contentcell {", "    width:100%;", "    vertical-align:top;",
                           "    font-size:" + c.CONTENTLOGSIZE + ";"});
  ColorLine(page, c.CONTENTLOGCOLOR);
  BackgroundLine(page, c.CONTENTBACKGROUND);
  page.insert(page.end(), {"    table-layout: fixed;", "  }"});

  page.insert(page.end(), {"  .settingcell {", "    width:100%;", "    vertical-align:top;", "    font-size:x-small;",
                           "    color:black;", "    background:white;", "    table-layout: fixed;", "  }"});

  page.insert(page.end(), {"  .update {", "    text-align:right;", "    color:silver;", "    font-size:xx-small;", "  }"});

  page.insert(page.end(), {"  .logdate {", "    font-size:" + c.CONTENTDATESIZE + ";"});
  ColorLine(page, c.CONTENTDATECOLOR);
  page.push_back("  }");

  page.insert(page.end(), {"  .logcategory {", "    font-size:" + c.CONTENTCATEGORYSIZE + ";"});
  ColorLine(page, c.CONTENTCATEGORYCOLOR);
  page.push_back("  }");

  page.push_back("  .logtopic {");
  ColorLine(page, c.CONTENTTITLECOLOR);
  page.insert(page.end(), {"    font-weight:bold;", "    font-size:" + c.CONTENTTITLESIZE + ";", "  }"});

  page.push_back("  .logcontent {");
  ColorLine(page, c.LOGCONTENTCOLOR);
  page.insert(page.end(), {"    font-size:" + c.LOGCONTENTSIZE + ";", "  }"});

  page.insert(page.end(), {"  .keyvc {", "    position:absolute;", "    font-size:10pt;", "    visibility:hidden;", " }"});

  page.push_back("  .pt {");
  ColorLine(page, c.CONTENTLOGCOLOR);
  page.push_back("    border:" + c.PHOTOFRAMECOLOR + " " + c.PHOTOFRAMETYPE + " " + std::to_string(c.PHOTOFRAMEWIDTH) + "px;");
  page.push_back(" }");

  page.insert(page.end(), {"  .ctable {", "    font-size:x-small;", "    text-align:right;", "  }"});

  std::string custom;
  if (FileExists(in.AccountFolder + "customcss.txt") && LoadTextFromFile(in.AccountFolder + "customcss.txt", custom)) {
    page.push_back("");
    page.push_back(custom);
  }
}

void TWebModule1::StyleSheetLines(TStringList& page) const {
  WriteStyleSheet(page, {Sys, {Sys.LARGECELLWIDTH, Sys.NAVICELLWIDTH, Sys.SUBCELLWIDTH}, Account.Id,
                         AccountFolder(), AccountImageFolder(), Css});
}
