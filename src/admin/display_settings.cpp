// The display and behaviour settings page (UC, VV) and its save (US): style.txt and title.txt.
#include <map>
#include <optional>
#include <vector>

#include "admin/setting_cell.h"
#include "admin/site_images.h"
#include "render/page_parts.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {

// ---- the keys of style.txt, in the order they are written ----

enum class TKind {
  Css,     // a colour, size or position written into the stylesheet or a tag attribute
  Text,    // any text on one line
  Number,  // decimal; not a number gives the default, out of range the nearest limit
  Enum,    // decimal; not a number or out of range gives the default
  Switch,  // "1" or "0"
  Kept,    // not on the page: the stored line is written back
};

constexpr int kSystemWidth = -99999;  // the default is the system's width of that column

struct TDesignKey {
  const char* Field;
  const char* Key;
  TKind Kind;
  int Def = 0, Min = 0, Max = 0;
};

const TDesignKey kKeys[] = {
    {"background", "BACKGROUND=", TKind::Css},
    {"titlebackground", "TITLEBACKGROUND=", TKind::Css},
    {"titlecolor", "TITLECOLOR=", TKind::Css},
    {"menubackground", "MENUBACKGROUND=", TKind::Css},
    {"menubackground2", "MENUBACKGROUND2=", TKind::Css},
    {"menulogcolor", "MENULOGCOLOR=", TKind::Css},
    {"menulogcolor2", "MENULOGCOLOR2=", TKind::Css},
    {"navitempname", "MENUTEMPNAME=", TKind::Text},
    {"contentdatecolor", "CONTENTDATECOLOR=", TKind::Css},
    {"contentbackground", "CONTENTBACKGROUND=", TKind::Css},
    {"contentlogcolor", "CONTENTLOGCOLOR=", TKind::Css},
    {"contenttitlecolor", "CONTENTTITLECOLOR=", TKind::Css},
    {"contentcategorycolor", "CONTENTCATEGORYCOLOR=", TKind::Css},
    {"contentviewcount", "CONTENTVIEWCOUNT=", TKind::Number, 5, 1, 99},
    {"contenttempname", "CONTENTTEMPNAME=", TKind::Text},
    {"simagewidth", "SIMAGEWIDTH=", TKind::Number, 240, 50, 240},
    {"timageheight", "TIMAGEHEIGHT=", TKind::Number, 0, -1, 500},
    {"layouttype", "LAYOUTTYPE=", TKind::Enum, 0, 0, 7},
    {"largespacing", "LARGESPACING=", TKind::Number, 0, 0, 99},
    {"timetype", "TIMETYPE=", TKind::Enum, 1, 0, 5},
    {"commenttempname", "COMMENTTEMPNAME=", TKind::Text},
    {"commentfolding", "COMMENTFOLDING=", TKind::Number, 2, 0, 9999},
    {"monthfolding", "MONTHFOLDING=", TKind::Number, 2, 0, 9999},
    {"contenttitlesize", "CONTENTTITLESIZE=", TKind::Css},
    {"contentdatesize", "CONTENTDATESIZE=", TKind::Css},
    {"contentcategorysize", "CONTENTCATEGORYSIZE=", TKind::Css},
    {"contentlogsize", "CONTENTLOGSIZE=", TKind::Css},
    {"logcontentcolor", "LOGCONTENTCOLOR=", TKind::Css},
    {"logcontentsize", "LOGCONTENTSIZE=", TKind::Css},
    {"commentanchorsize", "COMMENTANCHORSIZE=", TKind::Css},
    {"trackbackanchorsize", "TRACKBACKANCHORSIZE=", TKind::Css},
    {"usecomment", "USECOMMENT=", TKind::Switch},
    {"useviewcomment", "USEVIEWCOMMENT=", TKind::Switch},
    {"commentlimit", "COMMENTLIMIT=", TKind::Number, 0, 0, 36500},
    {"usetrackback", "USETRACKBACK=", TKind::Switch},
    {"usecategoryrss", "USECATEGORYRSS=", TKind::Switch},
    {"usekeyimage", "USEKEYIMAGE=", TKind::Switch},
    {"", "USETOPPAGE=", TKind::Kept},
    {"usecustommenu", "USECUSTOMMENU=", TKind::Switch},
    {"accesslogtype", "ACCESSLOGTYPE=", TKind::Enum, 0, 0, 1},
    {"useremail", "USEREMAIL=", TKind::Text},
    {"viewpassword", "VIEWPASSWORD=", TKind::Text},
    {"useralign", "USERALIGN=", TKind::Css},
    {"largecellwidth", "LARGECELLWIDTH=", TKind::Css},
    {"navicellwidth", "NAVICELLWIDTH=", TKind::Number, kSystemWidth, 0, 9999},
    {"subcellwidth", "SUBCELLWIDTH=", TKind::Number, kSystemWidth, 0, 9999},
    {"titlerepeat", "TITLEREPEAT=", TKind::Css},
    {"titlealign", "TITLEALIGN=", TKind::Css},
    {"albumviewcount", "ALBUMVIEWCOUNT=", TKind::Number, 5, 1, 999},
    {"albumviewcolumn", "ALBUMVIEWCOLUMN=", TKind::Number, 2, 1, 99},
    {"albumphotomethod", "ALBUMPHOTOMETHOD=", TKind::Enum, 0, 0, 1},
    {"photoframecolor", "PHOTOFRAMECOLOR=", TKind::Css},
    {"photoframetype", "PHOTOFRAMETYPE=", TKind::Css},
    {"photoframewidth", "PHOTOFRAMEWIDTH=", TKind::Number, 0, 0, 99},
    {"contentskipmethod", "CONTENTSKIPMETHOD=", TKind::Enum, 0, 0, 3},
    {"contentskiplength", "CONTENTSKIPLENGTH=", TKind::Enum, 200, 1, 1000000},
    {"", "EXIFPOPUP=", TKind::Kept},
    {"", "IMAGEPOPUP=", TKind::Kept},
    {"singlelogtitle", "SINGLELOGTITLE=", TKind::Enum, 0, 0, 2},
    {"updatepingdefault", "UPDATEPINGDEFAULT=", TKind::Switch},
    {"categorycontentlist", "CATEGORYCONTENTLIST=", TKind::Switch},
    {"rssversion", "RSSVERSION=", TKind::Text},
    {"defaultpage", "DEFAULTPAGE=", TKind::Text},
};

// The value of the first line that begins with key (letters in any case); found tells whether one did.
std::string StoredValue(const TStringList& lines, const std::string& key, bool* found = nullptr) {
  for (const auto& line : lines)
    if (StartsText(key, line)) {
      if (found) *found = true;
      return line.substr(key.size());
    }
  if (found) *found = false;
  return "";
}

// The value written for one key from the posted form.
std::string PostedValue(TWebModule1& m, const TDesignKey& k) {
  const std::string posted = k.Field[0] ? m.Request.ContentFieldValue(k.Field) : "";
  switch (k.Kind) {
    case TKind::Css: return CssValue(posted);
    case TKind::Text: return OneLine(posted);
    case TKind::Switch: return posted == "1" ? "1" : "0";
    case TKind::Number:
    case TKind::Enum: {
      int def = k.Def;
      if (def == kSystemWidth) def = std::string(k.Key) == "NAVICELLWIDTH=" ? m.Sys.SysNaviCellWidth : m.Sys.SysSubCellWidth;
      int n = PostedNumber(posted, def);
      if (n < k.Min) n = k.Kind == TKind::Number ? k.Min : def;
      if (n > k.Max) n = k.Kind == TKind::Number ? k.Max : def;
      return std::to_string(n);
    }
    case TKind::Kept: break;
  }
  return "";
}

// ---- the page ----

struct TChoice {
  const char* Value;
  const char* Label;
};
using TChoices = std::vector<TChoice>;

const TChoices kSizes = {{"xx-small", "非常に小さい"}, {"x-small", "少し小さい"}, {"small", "小さい"}, {"medium", "標準"},
                         {"large", "大きい"},        {"x-large", "少し大きい"},  {"xx-large", "非常に大きい"}};
const TChoices kRepeat = {{"repeat", "敷き詰める"}, {"repeat-x", "横方向に並べる"}, {"repeat-y", "縦方向に並べる"},
                          {"no-repeat", "並べない"}};
const TChoices kTitleAlign = {{"left top", "左 - 上"},       {"center top", "中央 - 上"},     {"right top", "右 - 上"},
                              {"left center", "左 - 中央"},  {"center center", "中央"},       {"right center", "右 - 中央"},
                              {"left bottom", "左 - 下"},    {"center bottom", "中央 - 下"},  {"right bottom", "右 - 下"}};
const TChoices kAlign = {{"", "システム設定"}, {"left", "左寄せ"}, {"center", "中央寄せ"}, {"right", "右寄せ"}};
const TChoices kLayouts = {{"0", "２列"}, {"1", "逆２列"}, {"2", "３列Ａ"}, {"3", "逆３列Ａ"},
                           {"4", "３列Ｂ"}, {"5", "逆３列Ｂ"}, {"6", "３列Ｃ"}, {"7", "逆３列Ｃ"}};
const TChoices kTimeTypes = {{"0", "yyyy/mm/dd hh:mm:ss"}, {"1", "yyyy/mm/dd hh:mm"}, {"2", "yy/mm/dd hh:mm:ss"},
                             {"3", "yy/mm/dd hh:mm"},      {"4", "mm/dd hh:mm:ss"},   {"5", "mm/dd hh:mm"}};
const TChoices kFrameTypes = {{"solid", "実線"}, {"dotted", "点線"}, {"dashed", "荒い点線"}, {"double", "二重線"}, {"none", "無し"}};
const TChoices kUseComment = {{"1", "コメント機能を利用する"}, {"0", "コメント機能を利用しない"}};
const TChoices kViewComment = {{"1", "管理者の許可後に公開"}, {"0", "そのまま公開"}};
const TChoices kTrackBack = {{"1", "トラックバックを受け付ける"}, {"0", "トラックバックを受け付けない"}};
const TChoices kCategoryRss = {{"1", "カテゴリ別RSSを出力する"}, {"0", "カテゴリ別RSSを出力しない"}};
const TChoices kKeyImage = {{"1", "コメント時にキー入力が必要"}, {"0", "コメント時にキー入力は必要無し"}};
const TChoices kCustomMenu = {{"1", "カスタムメニューを利用する"}, {"0", "カスタムメニューを利用しない"}};
const TChoices kAccessLog = {{"0", "ページビュー"}, {"1", "同日のIP制限"}};
const TChoices kSkipMethod = {{"0", "省略しない"}, {"1", "省略記事のみ"}, {"2", "画像(左)と省略記事"}, {"3", "画像(右)と省略記事"}};
const TChoices kSingleTitle = {{"0", "ブラウザのタイトルを変更しない"},
                               {"1", "ブラウザタイトルの右に記事タイトルを入れる"},
                               {"2", "ブラウザタイトルの左に記事タイトルを入れる"}};
const TChoices kUpdatePing = {{"0", "更新Pingを送信しない"}, {"1", "更新Pingを送信する"}};
const TChoices kUseList = {{"1", "利用する"}, {"0", "利用しない"}};
const TChoices kRssVersion = {{"1.0", "RSS1.0"}, {"2.0", "RSS2.0"}, {"ATOM", "ATOM1.0"}};
const TChoices kPhotoMethod = {{"0", "記事の全ての画像"}, {"1", "記事の最初の画像のみ"}};

enum class TControl { Title, Description, Color, Size, Text, Radio, Select, NaviTemplate, ContentTemplate,
                      CommentTemplate, DefaultPage, Layout };

struct TItem {
  const char* Field;
  TControl Control;
  const char* Caption = "";  // before the control
  const char* Suffix = "";   // after it
  int Size = 0, MaxLength = 0;
  const TChoices* Choices = nullptr;
};

struct TRow {
  const char* Label;
  std::vector<TItem> Items;
};

using C = TControl;
const std::vector<TRow>& Rows() {
  static const std::vector<TRow> rows = {
      {"タイトル", {{"blogtitle", C::Title, "", "", 40}}},
      {"説明", {{"blogdescription", C::Description}}},
      {"カスタムメニュー", {{"usecustommenu", C::Radio, "", "", 0, 0, &kCustomMenu}}},
      {"全体背景色", {{"background", C::Color}}},
      {"全体位置", {{"useralign", C::Select, "", "", 0, 0, &kAlign},
                    {"largecellwidth", C::Text, " 幅", "(数字はピクセル、%も可)", 6, 8}}},
      {"VELMタイトル", {{"titlebackground", C::Color, "背景色"}, {"titlecolor", C::Color, " 文字色"}}},
      {"VELMメニュー", {{"menubackground", C::Color, "背景色"}, {"menulogcolor", C::Color, " 文字色"},
                        {"navicellwidth", C::Text, " 幅", "px", 5, 4}}},
      {"ガジェットエリア", {{"menubackground2", C::Color, "背景色"}, {"menulogcolor2", C::Color, " 文字色"},
                            {"subcellwidth", C::Text, " 幅", "px", 5, 4}}},
      {"記事エリア", {{"contentbackground", C::Color, "背景色"}, {"contentlogcolor", C::Color, " 文字色"},
                      {"contentlogsize", C::Size, " サイズ"}}},
      {"記事タイトル", {{"contenttitlecolor", C::Color, "色"}, {"contenttitlesize", C::Size, " サイズ"}}},
      {"記事日付", {{"contentdatecolor", C::Color, "色"}, {"contentdatesize", C::Size, " サイズ"}}},
      {"記事カテゴリ", {{"contentcategorycolor", C::Color, "色"}, {"contentcategorysize", C::Size, " サイズ"}}},
      {"記事文字", {{"logcontentcolor", C::Color, "色"}, {"logcontentsize", C::Size, " サイズ"}}},
      {"コメントアンカー", {{"commentanchorsize", C::Size, "サイズ"}}},
      {"トラックバックアンカー", {{"trackbackanchorsize", C::Size, "サイズ"}}},
      {"メニューテンプレート", {{"navitempname", C::NaviTemplate}}},
      {"記事テンプレート", {{"contenttempname", C::ContentTemplate}}},
      {"コメントテンプレート", {{"commenttempname", C::CommentTemplate}}},
      {"１ページ記事数", {{"contentviewcount", C::Text, "", "", 5, 2}}},
      {"記事中の日付フォーマット", {{"timetype", C::Select, "", "", 0, 0, &kTimeTypes}}},
      {"サムネイルサイズ", {{"simagewidth", C::Text, "", " 50～240の間で指定", 5, 3}}},
      {"説明領域の縦幅", {{"timageheight", C::Text, "", " 0を指定した場合は説明文で自動調節", 5, 4}}},
      {"レイアウトタイプ", {{"layouttype", C::Layout, "", "", 0, 0, &kLayouts}}},
      {"タイトル背景画像表示", {{"titlerepeat", C::Select, "", "", 0, 0, &kRepeat}}},
      {"タイトル背景画像位置", {{"titlealign", C::Select, "", "", 0, 0, &kTitleAlign}}},
      {"レイアウト枠幅", {{"largespacing", C::Text, "", " 0指定でメニュー間の隙間が消えます", 5, 2}}},
      {"コメント機能", {{"usecomment", C::Radio, "", "", 0, 0, &kUseComment}}},
      {"コメント公開", {{"useviewcomment", C::Radio, "", "", 0, 0, &kViewComment}}},
      {"コメント可能期限", {{"commentlimit", C::Text, "", "日まで(0指定で無期限)", 5, 5}}},
      {"コメント折り畳み数", {{"commentfolding", C::Text, "", "つ表示して残りを折りたたむ", 5, 4}}},
      {"アーカイブ折り畳み数", {{"monthfolding", C::Text, "", "つ表示して残りを折りたたむ", 5, 4}}},
      {"トラックバック", {{"usetrackback", C::Radio, "", "", 0, 0, &kTrackBack}}},
      {"カテゴリ別RSS", {{"usecategoryrss", C::Radio, "", "", 0, 0, &kCategoryRss}}},
      {"コメントキー", {{"usekeyimage", C::Radio, "", "", 0, 0, &kKeyImage}}},
      {"アクセスログ", {{"accesslogtype", C::Radio, "", "", 0, 0, &kAccessLog}}},
      {"記事省略方法", {{"contentskipmethod", C::Select, "", "", 0, 0, &kSkipMethod}}},
      {"省略時長さ(byte)", {{"contentskiplength", C::Text, "", "", 7, 7}}},
      {"単独記事のタイトル", {{"singlelogtitle", C::Select, "", "", 0, 0, &kSingleTitle}}},
      {"更新Ping", {{"updatepingdefault", C::Radio, "", "", 0, 0, &kUpdatePing}}},
      {"カテゴリ別記事一覧", {{"categorycontentlist", C::Radio, "", "", 0, 0, &kUseList}}},
      {"RSSバージョン", {{"rssversion", C::Radio, "", "", 0, 0, &kRssVersion}}},
      {"基本ページ", {{"defaultpage", C::DefaultPage}}},
      {"通知先メールアドレス", {{"useremail", C::Text, "", " コメントの通知先", 40}}},
      {"閲覧用パスワード", {{"viewpassword", C::Text, "", " 空欄の場合は誰でも閲覧できます", 20}}},
      {"フォトアルバム", {{"albumviewcount", C::Text, "表示数", "", 4, 3}, {"albumviewcolumn", C::Text, " 列数", "", 3, 2},
                          {"albumphotomethod", C::Select, " ", "", 0, 0, &kPhotoMethod}}},
      {"写真の枠", {{"photoframecolor", C::Color, "色"}, {"photoframetype", C::Select, " 線", "", 0, 0, &kFrameTypes},
                    {"photoframewidth", C::Text, " 太さ", "px", 3, 2}}},
  };
  return rows;
}

// The options of a select, made once for all the selects that offer them: each option's text
// before and after the place of " selected".
struct TOptionSet {
  std::vector<std::string> Values, Heads, Tails;
};

TOptionSet MakeOptions(const std::vector<std::pair<std::string, std::string>>& choices, bool colors) {
  TOptionSet set;
  for (const auto& [value, label] : choices) {
    const std::string v = EscapeAttribute(value);
    set.Values.push_back(value);
    set.Heads.push_back("<option value=\"" + v + "\"" + (colors && !value.empty() ? " style=\"color:" + v + "\"" : ""));
    set.Tails.push_back(">" + label + "</option>");
  }
  return set;
}

// A select over a set; a stored value that is not among them is offered too, so a save keeps it.
std::string SelectOf(const std::string& field, const TOptionSet& set, const std::string& current, bool colors = false) {
  std::string out = "<select name=\"" + field + "\">";
  bool found = false;
  for (size_t i = 0; i < set.Values.size(); ++i) {
    const bool selected = !found && set.Values[i] == current;
    found = found || selected;
    out += set.Heads[i];
    if (selected) out += " selected";
    out += set.Tails[i];
  }
  if (!found)
    out += OptionTag(current, EscapeAttribute(current), true, colors && !current.empty() ? "color:" + EscapeAttribute(current) : "");
  return out + "</select>";
}

std::vector<std::pair<std::string, std::string>> Pairs(const TChoices& choices) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& c : choices) out.emplace_back(c.Value, c.Label);
  return out;
}

TOptionSet TemplateOptions(const TContentTempList& list) {
  std::vector<std::pair<std::string, std::string>> out = {{"", "デフォルト"}};
  for (const auto& t : list)
    if (!t.Name.empty()) out.emplace_back(t.Name, Escape(t.Name));
  return MakeOptions(out, false);
}

// The values shown in the form: every key of style.txt by field name, then title and description.
class TDesignValues {
public:
  explicit TDesignValues(TWebModule1& m) : M(m) {
    const TCSSValue& c = m.Css;
    auto num = [](int n) { return std::to_string(n); };
    auto sw = [](bool b) { return std::string(b ? "1" : "0"); };
    FValues = {
        {"background", c.BACKGROUND}, {"titlebackground", c.TITLEBACKGROUND}, {"titlecolor", c.TITLECOLOR},
        {"menubackground", c.MENUBACKGROUND}, {"menubackground2", c.MENUBACKGROUND2},
        {"menulogcolor", c.MENULOGCOLOR}, {"menulogcolor2", c.MENULOGCOLOR2}, {"navitempname", c.MENUTEMPNAME},
        {"contentdatecolor", c.CONTENTDATECOLOR}, {"contentbackground", c.CONTENTBACKGROUND},
        {"contentlogcolor", c.CONTENTLOGCOLOR}, {"contenttitlecolor", c.CONTENTTITLECOLOR},
        {"contentcategorycolor", c.CONTENTCATEGORYCOLOR}, {"contentviewcount", num(c.CONTENTVIEWCOUNT)},
        {"contenttempname", c.CONTENTTEMPNAME}, {"simagewidth", num(c.SIMAGEWIDTH)},
        {"timageheight", num(c.TIMAGEHEIGHT)}, {"layouttype", num(c.LAYOUTTYPE)},
        {"largespacing", num(c.LARGESPACING)}, {"timetype", num(c.TIMETYPE)},
        {"commenttempname", c.COMMENTTEMPNAME}, {"commentfolding", num(c.COMMENTFOLDING)},
        {"monthfolding", num(c.MONTHFOLDING)}, {"contenttitlesize", c.CONTENTTITLESIZE},
        {"contentdatesize", c.CONTENTDATESIZE}, {"contentcategorysize", c.CONTENTCATEGORYSIZE},
        {"contentlogsize", c.CONTENTLOGSIZE}, {"logcontentcolor", c.LOGCONTENTCOLOR},
        {"logcontentsize", c.LOGCONTENTSIZE}, {"commentanchorsize", c.COMMENTANCHORSIZE},
        {"trackbackanchorsize", c.TRACKBACKANCHORSIZE}, {"usecomment", sw(c.USECOMMENT)},
        {"useviewcomment", sw(c.USEVIEWCOMMENT)}, {"commentlimit", num(c.COMMENTLIMIT)},
        {"usetrackback", sw(c.USETRACKBACK)}, {"usecategoryrss", sw(c.USECATEGORYRSS)},
        {"usekeyimage", sw(c.USEKEYIMAGE)}, {"usecustommenu", sw(c.USECUSTOMMENU)},
        {"accesslogtype", num(c.ACCESSLOGTYPE)}, {"useremail", c.USEREMAIL}, {"viewpassword", c.VIEWPASSWORD},
        {"useralign", c.USERALIGN}, {"titlerepeat", c.TITLEREPEAT}, {"titlealign", c.TITLEALIGN},
        {"albumviewcount", num(c.ALBUMVIEWCOUNT)}, {"albumviewcolumn", num(c.ALBUMVIEWCOLUMN)},
        {"albumphotomethod", num(c.ALBUMPHOTOMETHOD)}, {"photoframecolor", c.PHOTOFRAMECOLOR},
        {"photoframetype", c.PHOTOFRAMETYPE}, {"photoframewidth", num(c.PHOTOFRAMEWIDTH)},
        {"contentskipmethod", num(c.CONTENTSKIPMETHOD)}, {"contentskiplength", num(c.CONTENTSKIPLENGTH)},
        {"singlelogtitle", num(c.SINGLELOGTITLE)}, {"updatepingdefault", sw(c.UPDATEPINGDEFAULT)},
        {"categorycontentlist", sw(c.CATEGORYCONTENTLIST)}, {"rssversion", c.RSSVERSION},
        {"defaultpage", c.DEFAULTPAGE}, {"blogtitle", m.Account.Title},
        {"blogdescription", m.Account.Description},
    };
    // The widths are not part of the design record: the file's lines, else the system's.
    TStringList lines;
    LoadLinesFromFile(m.AccountFolder() + "style.txt", lines);
    bool found;
    std::string v = StoredValue(lines, "LARGECELLWIDTH=", &found);
    FValues["largecellwidth"] = found ? v : m.Sys.SysLargeCellWidth;
    v = StoredValue(lines, "NAVICELLWIDTH=", &found);
    FValues["navicellwidth"] = std::to_string(found ? PostedNumber(v, m.Sys.SysNaviCellWidth) : m.Sys.SysNaviCellWidth);
    v = StoredValue(lines, "SUBCELLWIDTH=", &found);
    FValues["subcellwidth"] = std::to_string(found ? PostedNumber(v, m.Sys.SysSubCellWidth) : m.Sys.SysSubCellWidth);
  }
  // Values as saved: the form's own fields take their place.
  TDesignValues(TWebModule1& m, const std::map<std::string, std::string>& saved) : TDesignValues(m) {
    for (const auto& [k, v] : saved) FValues[k] = v;
  }

  const std::string& operator[](const std::string& field) const {
    static const std::string none;
    const auto it = FValues.find(field);
    return it == FValues.end() ? none : it->second;
  }

  // The colour list (the system's colours, then the user's) and the font sizes, made once a page.
  const TOptionSet& Colors() const {
    if (!FColors) {
      std::vector<std::pair<std::string, std::string>> colors;
      for (const auto& c : M.Sys.ColorList) colors.emplace_back(c.Value, c.Name);
      for (const auto& c : M.Css.UserColors) colors.emplace_back(c.Value, c.Name);
      FColors = MakeOptions(colors, true);
    }
    return *FColors;
  }
  const TOptionSet& Sizes() const {
    if (!FSizes) FSizes = MakeOptions(Pairs(kSizes), false);
    return *FSizes;
  }

  TWebModule1& M;

private:
  std::map<std::string, std::string> FValues;
  mutable std::optional<TOptionSet> FColors, FSizes;
};

std::string ChoiceLabel(const TChoices& choices, const std::string& value) {
  for (const auto& c : choices)
    if (value == c.Value) return c.Label;
  return EscapeAttribute(value);
}

// The small table that shows the column order of a layout: menu, content and gadget area.
std::string LayoutPreview(int type) {
  std::string cells;
  for (const char* p = LayoutOrder(type); *p; ++p) {
    if (*p == 'n') cells += "<td style=\"background:#80c080; width:10px\">&nbsp;</td>";
    else if (*p == 's') cells += "<td style=\"background:#8080e0; width:10px\">&nbsp;</td>";
    else cells += "<td style=\"background:#e0e0e0; width:30px\">&nbsp;</td>";
  }
  return "<table border=\"0\" cellspacing=\"1\" cellpadding=\"0\" style=\"height:24px; display:inline-table; "
         "vertical-align:middle\"><tr>" + cells + "</tr></table>";
}

std::string Control(const TDesignValues& v, const TItem& it) {
  TWebModule1& m = v.M;
  const std::string field = it.Field;
  const std::string& cur = v[field];
  switch (it.Control) {
    case C::Title:
      return "<input type=\"text\" name=\"blogtitle\" size=\"40\" value=\"" + EscapeAttribute(cur) + "\">";
    case C::Description:
      return "<textarea name=\"blogdescription\" rows=\"5\" cols=\"40\">" + BrToTextarea(cur) + "</textarea>";
    case C::Color: return SelectOf(field, v.Colors(), cur, true);
    case C::Size: return SelectOf(field, v.Sizes(), cur);
    case C::Select: return SelectOf(field, MakeOptions(Pairs(*it.Choices), false), cur);
    case C::Text: {
      std::string input = "<input type=\"text\" name=\"" + field + "\" size=\"" + std::to_string(it.Size) + "\"";
      if (it.MaxLength > 0) input += " maxlength=\"" + std::to_string(it.MaxLength) + "\"";
      return input + " value=\"" + EscapeAttribute(cur) + "\">";
    }
    case C::Radio: {
      std::string out;
      for (const auto& c : *it.Choices)
        out += std::string(out.empty() ? "" : " ") + "<input type=\"radio\" name=\"" + field + "\" value=\"" + c.Value +
               "\"" + (cur == c.Value ? " checked" : "") + ">" + c.Label;
      return out;
    }
    case C::NaviTemplate: return SelectOf(field, TemplateOptions(m.Sys.NaviTempList), cur);
    case C::ContentTemplate: return SelectOf(field, TemplateOptions(m.Sys.ContentTempList), cur);
    case C::CommentTemplate: return SelectOf(field, TemplateOptions(m.Sys.CommentTempList), cur);
    case C::DefaultPage: {
      // The value is the category name as stored, so it comes back exactly as the dispatcher compares it.
      std::vector<std::pair<std::string, std::string>> pages = {{"", "全ての記事"}};
      std::string current = cur;
      for (const auto& c : m.CategoryList) {
        pages.emplace_back(c.name, "カテゴリ - " + c.name);
        if (cur == c.id) current = c.name;  // an older file may name the category by its id
      }
      return SelectOf(field, MakeOptions(pages, false), current);
    }
    case C::Layout: {
      // SIDEMENUCONTROL= 1 allows the two-column layouts only, 2 the three-column ones only.
      const int from = m.Sys.SIDEMENUCONTROL == 2 ? 2 : 0, to = m.Sys.SIDEMENUCONTROL == 1 ? 1 : 7;
      std::string out;
      for (int t = from; t <= to; ++t) {
        const std::string no = std::to_string(t);
        out += "<span style=\"display:inline-block; margin:2px 6px 2px 0; white-space:nowrap\">" + LayoutPreview(t) +
               "<input type=\"radio\" name=\"layouttype\" value=\"" + no + "\"" + (cur == no ? " checked" : "") + ">" +
               kLayouts[static_cast<size_t>(t)].Label + "</span>";
      }
      return out;
    }
  }
  return "";
}

// The saved value as the confirmation table shows it.
std::string Shown(const TDesignValues& v, const TItem& it) {
  const std::string& cur = v[it.Field];
  switch (it.Control) {
    case C::Description: return ReplaceAll(EscapeAttribute(cur), "&lt;br&gt;", "<br>");
    case C::Color:
      return cur.empty() ? "未指定" : "<span style=\"color:" + EscapeAttribute(cur) + "\">■</span>" + EscapeAttribute(cur);
    case C::Size: return ChoiceLabel(kSizes, cur);
    case C::Select:
    case C::Radio:
    case C::Layout: return ChoiceLabel(*it.Choices, cur);
    case C::NaviTemplate:
    case C::ContentTemplate:
    case C::CommentTemplate: return cur.empty() ? "デフォルト" : EscapeAttribute(cur);
    case C::DefaultPage: return cur.empty() ? "全ての記事" : "カテゴリ - " + cur;
    default: return EscapeAttribute(cur);
  }
}

const char* RowColor(size_t i) { return i % 2 ? "#c0ffc0" : "#f0fff0"; }

void SettingsForm(TWebModule1& m, TStringList& page) {
  const TDesignValues v(m);
  page.push_back(m.FormStart("us"));
  page.push_back("<table border=\"0\" cellpadding=\"3\" style=\"border-collapse:collapse; font-size:x-small\">");
  const auto& rows = Rows();
  for (size_t i = 0; i < rows.size(); ++i) {
    std::string cell;
    for (const auto& it : rows[i].Items) cell += std::string(it.Caption) + Control(v, it) + it.Suffix;
    page.push_back(std::string("<tr style=\"background:") + RowColor(i) + "\"><td>" + rows[i].Label + "</td><td>" +
                   cell + "</td></tr>");
  }
  page.push_back("</table>");
  page.push_back("<input type=\"submit\" value=\"上記の内容で登録します\"></form>");
}

}  // namespace

int TWebModule1::DoDesignPage(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  if (!DesignMessage.empty()) page.push_back(BlueMessage(DesignMessage));
  if (!DesignError.empty()) page.push_back(RedMessage(DesignError));
  SettingsForm(*this, page);
  SiteImageBlock(*this, page);
  CloseSettingCell(*this, page);
  return 1;
}

int TWebModule1::DoDesignSave(const TCommandEntry&) {
  std::map<std::string, std::string> saved;
  const std::string folder = AccountFolder();
  // A file whose content stays the same is not written again.
  const bool styleOk = RewriteText(folder + "style.txt", [&](std::string& text, bool existed) {
    const TStringList old = SplitLines(text);
    std::string now;
    for (const TDesignKey& k : kKeys) {
      std::string value;
      if (k.Kind == TKind::Kept) {
        bool found;
        value = StoredValue(old, k.Key, &found);
        if (!found) value = "0";
      } else {
        value = PostedValue(*this, k);
        saved[k.Field] = value;
      }
      now += std::string(k.Key) + value + "\r\n";
    }
    if (existed && now == text) return TRewrite::Keep;
    text.swap(now);
    return TRewrite::Save;
  });
  const std::string title = OneLine(Request.ContentFieldValue("blogtitle"));
  const std::string description = BreaksToBr(Request.ContentFieldValue("blogdescription"));
  const bool titleOk = RewriteText(folder + "title.txt", [&](std::string& text, bool existed) {
    const std::string now = title + "\r\n" + description + "\r\n";
    if (existed && now == text) return TRewrite::Keep;
    text = now;
    return TRewrite::Save;
  });

  // The frame and the table show the settings as they are now.
  Css = ReadDesign(folder, Sys.SIDEMENUCONTROL);
  ReadTitleFile(folder, Account);
  TStringList page;
  OpenSettingCell(*this, page);
  if (!styleOk || !titleOk) {
    page.push_back(RedMessage("設定の保存に失敗しました"));
    CloseSettingCell(*this, page);
    return 0;
  }
  saved["blogtitle"] = title;
  saved["blogdescription"] = description;
  const TDesignValues v(*this, saved);
  page.push_back("<table border=\"1\" cellpadding=\"3\" style=\"background:white; border-collapse:collapse; "
                 "font-size:x-small\">");
  for (const auto& row : Rows()) {
    std::string cell;
    for (const auto& it : row.Items) cell += std::string(it.Caption) + Shown(v, it);
    page.push_back(std::string("<tr><td>") + row.Label + "</td><td>" + cell + "</td></tr>");
  }
  page.push_back("</table>");
  CloseSettingCell(*this, page);
  return 1;
}
