// The article chooser (LC): a month and category form, then the articles of that choice.
#include <algorithm>
#include <set>

#include "admin/setting_cell.h"
#include "store/categories.h"
#include "store/comments.h"
#include "store/index_summary.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

// The years that have articles, hidden ones included, newest first.
std::vector<std::string> ArticleYears(TWebModule1& m) {
  TCategoryList categories = m.CategoryList;
  TContentRefList refs;
  TIndexSummary summary;
  LoadContentRefs(m.AccountFolder(), true, true, refs, categories, &summary);
  std::set<std::string, std::greater<>> years;
  for (const TMonthGroup& g : summary.Groups())
    if (g.month.size() >= 4) years.insert(g.month.substr(0, 4));
  return {years.begin(), years.end()};
}

void ChooserForm(TWebModule1& m, TStringList& page) {
  page.push_back("修正する記事の登録月を選択してください");
  page.push_back(m.FormStart("lc"));
  std::string years = "<select name=\"syear\" size=\"1\">";
  for (const std::string& y : ArticleYears(m)) years += "<option value=\"" + y + "\">" + y + "年</option>";
  page.push_back(years + "</select>");
  const int month = Now().Month;
  std::string months = "<select name=\"smonth\" size=\"1\">";
  for (int i = 1; i <= 12; ++i)
    months += "<option value=\"" + std::to_string(i) + "\"" + (i == month ? " selected" : "") + ">" +
              std::to_string(i) + "月</option>";
  page.push_back(months + "<option value=\"99\">全て</option></select>");
  std::string cats = "<select name=\"scategory\" size=\"1\"><option value=\"\">全てのカテゴリ</option>";
  for (const TCategoryData& c : m.CategoryList)
    cats += "<option value=\"" + Escape(c.id) + "\">" + c.name + "</option>";
  page.push_back(cats + "</select>");
  page.push_back("<input type=\"submit\" value=\"記事一覧を表示する\"></form>");
}

// The date prefix of the chosen year and month ("2009/05" or "2009/" for every month); "" when
// the choice is not a year and a month.
std::string DatePrefix(const std::string& year, const std::string& month) {
  long long y = 0, mo = 0;
  if (year.size() != 4 || !StrToIntStrict(year, y) || y < 0 || !StrToIntStrict(month, mo)) return "";
  if (mo == 99) return year + "/";
  if (mo < 1 || mo > 12) return "";
  return year + "/" + TwoDigits(static_cast<int>(mo));
}

void ArticleTable(TWebModule1& m, TStringList& page, const std::string& prefix, const std::string& category) {
  page.push_back("修正を行う記事を選択してください");
  TCategoryList categories = m.CategoryList;
  TContentRefList refs;
  TIndexSummary summary;
  LoadContentRefs(m.AccountFolder(), true, true, refs, categories, &summary);
  auto chosen = [&](std::string_view month, std::string_view cat) {
    return month.size() >= 7 && month.substr(0, prefix.size()) == prefix && (category.empty() || cat == category);
  };
  // The summary tells how many articles the choice holds: the walk from the newest stops there.
  long long wanted = 0;
  if (!prefix.empty())
    for (const TMonthGroup& g : summary.Groups())
      if (chosen(g.month, g.category)) wanted += g.count;
  TContentList list;
  for (auto r = refs.begin(); r != refs.end() && static_cast<long long>(list.size()) < wanted; ++r)
    if (chosen(r->date(), r->category())) list.push_back(ToContentIndex(*r));
  if (list.empty()) {
    page.push_back("<br>対象記事はありません");
    return;
  }
  std::vector<std::string> ids;
  for (const TContentIndex& c : list) ids.push_back(c.id);
  std::vector<int> shown, all;
  CountArticleComments(m.AccountFolder(), ids, shown, all);
  page.push_back("<table border=\"1\" cellpadding=\"3\" style=\"border-collapse:collapse; font-size:x-small\">");
  page.push_back(
      "<tr><td>記事日付</td><td>カテゴリ</td><td>件名</td><td>非公開コメント</td><td>コメント数</td><td>記事公開</td>"
      "<td>プレビュー</td></tr>");
  const std::string base = "./velm.exe?" + m.AccountWord;
  for (size_t i = 0; i < list.size(); ++i) {
    const TContentIndex& c = list[i];
    page.push_back("<tr><td>" + c.date + "</td><td>" + CategoryName(m.CategoryList, c.category) +
                   "</td><td><a href=\"" + base + "+ec+" + c.id + "\">" + c.title + "</a></td><td>" +
                   std::to_string(all[i] - shown[i]) + "</td><td>" + std::to_string(all[i]) + "</td>" +
                   (c.visible ? "<td>O</td>" : "<td style=\"background:silver\">X</td>") + "<td><a href=\"" + base +
                   "+lp+" + c.id + "\" target=\"_blank\">プレビュー</a></td></tr>");
  }
  page.push_back("</table>");
}

}  // namespace

int TWebModule1::DoChooseArticle(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  const std::string year = Request.ContentFieldValue("syear"), month = Request.ContentFieldValue("smonth");
  if (year.empty() || month.empty())
    ChooserForm(*this, page);
  else
    ArticleTable(*this, page, DatePrefix(year, month), Request.ContentFieldValue("scategory"));
  CloseSettingCell(*this, page);
  return 1;
}
