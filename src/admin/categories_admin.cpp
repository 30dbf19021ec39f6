// The category page (CV) and its actions (CD): add, rename, move up, delete in two steps, hide, show.
#include <algorithm>

#include "admin/setting_cell.h"
#include "store/categories.h"
#include "text/DString.h"

namespace {

const char kTable[] = "<table border=\"0\" cellpadding=\"5\" style=\"border-collapse:collapse; font-size:x-small\">";

std::string CategoryOptions(const TCategoryList& list, bool (*want)(const TCategoryData&)) {
  std::string out;
  for (const auto& c : list)
    if (want(c)) out += OptionTag(c.id, c.name, false);
  return out;
}

bool Any(const TCategoryData&) { return true; }
bool Shown(const TCategoryData& c) { return c.visible; }
bool Hidden(const TCategoryData& c) { return !c.visible; }

// The form of the category page and the id list under it.
void CategoryForm(TWebModule1& m, TStringList& page) {
  const TCategoryList& list = m.CategoryList;
  page.push_back(m.FormStart("cd"));
  page.push_back(kTable);
  page.push_back("<tr style=\"background:#f0fff0\"><td>カテゴリ新規作成</td><td>" + TextInput("newcategory", "") +
                 "</td></tr>");
  if (!list.empty()) {
    page.push_back("<tr style=\"background:#c0ffc0\"><td>カテゴリ名修正</td><td><select name=\"modcategory\">" +
                   PromptOption("変更元のカテゴリを選択してください") + CategoryOptions(list, Any) +
                   "</select><br>上記を右記に変更" + TextInput("modcategory2", "") + "</td></tr>");
  }
  if (list.size() >= 2) {
    std::string options = "<option value=\"\" style=\"color:silver\">" + list[0].name + "(最上位)</option>";
    for (size_t i = 1; i < list.size(); ++i) options += OptionTag(list[i].id, list[i].name, false);
    page.push_back("<tr style=\"background:#f0fff0\"><td>カテゴリ移動</td><td><select name=\"upcategory\">" +
                   PromptOption("順番を上げるカテゴリを選択してください") + options + "</select></td></tr>");
  }
  if (!list.empty()) {
    page.push_back(std::string("<tr style=\"background:#c0ffc0\"><td>") + "カテゴリ削除" +
                   "</td><td><select name=\"delcategory\">" + PromptOption("削除するカテゴリを選択してください") +
                   CategoryOptions(list, Any) + "</select></td></tr>");
  }
  if (std::any_of(list.begin(), list.end(), Shown)) {
    page.push_back(std::string("<tr style=\"background:#a0ffa0\"><td>") + "カテゴリ非表示" +
                   "</td><td><select name=\"novisiblecategory\">" +
                   PromptOption("非表示にするカテゴリを選択してください") + CategoryOptions(list, Shown) +
                   "</select></td></tr>");
  }
  if (std::any_of(list.begin(), list.end(), Hidden)) {
    page.push_back(std::string("<tr style=\"background:#a0ffa0\"><td>") + "カテゴリ表示" +
                   "</td><td><select name=\"visiblecategory\">" + PromptOption("表示するカテゴリを選択してください") +
                   CategoryOptions(list, Hidden) + "</select></td></tr>");
  }
  page.push_back("</table>");
  page.push_back("<input type=\"submit\" value=\"カテゴリ処理を行います\"><br>同時に処理はできません");
  page.push_back("</form>");
  page.push_back(RedMessage("カテゴリの削除を行った場合、関連する記事及びコメントも全て削除されます。"));
  page.push_back("<hr>カテゴリID一覧<br>");
  page.push_back(kTable);
  for (const auto& c : list)
    page.push_back("<tr><td>" + c.name + "</td><td><input type=\"text\" style=\"width:150px\" value=\"" +
                   EscapeAttribute(c.id) + "\"></td></tr>");
  page.push_back("</table>");
}

// Every field of the category form: the first non-empty one of these decides the action.
struct TCategoryFields {
  std::string del, add, del2, mod, mod2, up, hide, show;
};

}  // namespace

int TWebModule1::DoCategoryPage(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  CategoryForm(*this, page);
  CloseSettingCell(*this, page);
  return 1;
}

int TWebModule1::DoCategoryAction(const TCommandEntry&) {
  auto field = [&](const char* name) { return OneLine(Request.ContentFieldValue(name)); };
  const TCategoryFields f{field("delcategory"),      field("newcategory"), field("delcategory2"),
                          field("modcategory"),      field("modcategory2"), field("upcategory"),
                          field("novisiblecategory"), field("visiblecategory")};
  const std::string folder = AccountFolder();
  auto nameOf = [&](const std::string& id) {
    const TCategoryData* c = FindCategory(CategoryList, id);
    return c ? c->name : std::string();
  };
  const std::string notFound = RedMessage("カテゴリが見つかりません");

  TStringList result;
  bool showForm = true;
  if (!f.del.empty()) {
    // The first step only asks: the category and everything in it go with the second.
    if (!FindCategory(CategoryList, f.del)) {
      result.push_back(notFound);
    } else {
      result.push_back("<span style=\"color:red; font-weight:bold\">" + nameOf(f.del) +
                       " カテゴリーの削除を行おうとしています。<br>カテゴリーの削除を行った場合、関連する記事・画像・動画・コメントが全て削除されます。<br>本当に削除しますか？" +
                       "</span>");
      result.push_back(FormStart("cd") + HiddenInput("delcategory2", EscapeAttribute(f.del)) +
                       "<input type=\"submit\" style=\"color:red\" value=\"カテゴリ削除\"></form>");
      showForm = false;
    }
  } else if (!f.add.empty()) {
    const std::string name = Escape(f.add);
    switch (AddCategory(folder, f.add)) {
      case TCategoryChange::Done: result.push_back(BlueMessage(name + " " + "カテゴリの追加を行いました")); break;
      case TCategoryChange::Duplicate: result.push_back(RedMessage("カテゴリ名が重複しています")); break;
      default: result.push_back(RedMessage(name + " " + "カテゴリの追加に失敗しました")); break;
    }
  } else if (!f.del2.empty()) {
    const std::string name = nameOf(f.del2);
    switch (DeleteCategory(folder, AccountImageFolder(), f.del2)) {
      case TCategoryChange::Done: result.push_back(BlueMessage(name + " " + "カテゴリの削除を行いました")); break;
      case TCategoryChange::Missing: result.push_back(notFound); break;
      default: result.push_back(RedMessage(name + " " + "カテゴリの削除に失敗しました")); break;
    }
  } else if (!f.mod.empty() || !f.mod2.empty()) {
    const std::string oldName = nameOf(f.mod);
    if (f.mod.empty()) {
      result.push_back(RedMessage("変更元のカテゴリ名が指定されていません"));
    } else if (f.mod2.empty()) {
      result.push_back(RedMessage("変更後のカテゴリ名が指定されていません"));
    } else {
      switch (RenameCategory(folder, f.mod, f.mod2)) {
        case TCategoryChange::Done:
          result.push_back(BlueMessage("<span style=\"font-weight:bold\">" + oldName + "</span>" + " を " +
                                       "<span style=\"font-weight:bold\">" + Escape(f.mod2) + "</span> " +
                                       "へ変更を行いました"));
          break;
        case TCategoryChange::Missing: result.push_back(notFound); break;
        case TCategoryChange::Duplicate: result.push_back(RedMessage("カテゴリ名が重複しています")); break;
        default: result.push_back(RedMessage(oldName + "の変更に失敗しました")); break;
      }
    }
  } else if (!f.up.empty()) {
    switch (MoveCategoryUp(folder, f.up)) {
      case TCategoryChange::Done: result.push_back(BlueMessage("カテゴリを移動しました")); break;
      case TCategoryChange::Missing: result.push_back(notFound); break;
      default: result.push_back(RedMessage("カテゴリの移動に失敗しました")); break;
    }
  } else if (!f.hide.empty() || !f.show.empty()) {
    const std::string& id = f.hide.empty() ? f.show : f.hide;
    const std::string name = nameOf(id);
    switch (SetCategoryVisible(folder, id, f.hide.empty())) {
      case TCategoryChange::Done: result.push_back(BlueMessage(name + "の表示設定を変更しました")); break;
      case TCategoryChange::Missing: result.push_back(notFound); break;
      default: result.push_back(RedMessage(name + "の表示設定の変更に失敗しました")); break;
    }
  } else {
    result.push_back(RedMessage("処理が選択されませんでした"));
  }

  // The frame's menu and the form show the categories as they are now.
  LoadCategoryList(folder, CategoryList);
  TStringList page;
  OpenSettingCell(*this, page);
  page.insert(page.end(), result.begin(), result.end());
  if (showForm) CategoryForm(*this, page);
  CloseSettingCell(*this, page);
  return 1;
}
