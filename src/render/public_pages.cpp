// The public pages of a blog: the article lists, the photo album, the link page, the single
// article, the printable article and the owner's preview.
#include <algorithm>
#include <unordered_map>

#include "app/Unit1.h"
#include "render/article_view.h"
#include "render/page_parts.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

using TSideMenuInput = TWebModule1::TSideMenuInput;

// What the side menu shows: the articles with their per-category counts and the newest
// comments. The preview shows hidden articles and those of hidden categories too.
// A public article: visible and of a shown category.
bool FindPublicContent(const TWebModule1& m, const std::string& id, TContentIndex& c) {
  if (!IsArticleId(id) || !FindContent(m.AccountFolder(), id, c) || !c.visible) return false;
  const TCategoryData* k = FindCategory(m.CategoryList, c.category);
  return !k || k->visible;
}

// Without the view password nothing of the blog's content is loaded: the boxes that show it
// are drawn empty.
void LoadSideMenuInput(TWebModule1& m, TSideMenuInput& in, bool withHidden, bool archiveMonth) {
  in.Closed = !withHidden && !m.ViewPasswordOK();
  if (!in.Closed) {
    LoadContentRefs(m.AccountFolder(), withHidden, withHidden, in.Contents, m.CategoryList, &in.Summary);
    // The newest comments of articles the page may show: a hidden article's comments would
    // push older public ones out of the box.
    // Commented articles are mostly recent: the newest entries of the list, which the page reads
    // anyway, answer first; an older one is looked up in the index.
    std::unordered_map<std::string, bool> shown;
    LoadCommentList(m.AccountFolder(), "", false, in.NewComments, 10, [&](const std::string& id) {
      auto it = shown.find(id);
      if (it == shown.end()) {
        bool found = false;
        for (size_t i = 0; i < 64 && !found && in.Contents.Has(i); ++i) found = in.Contents[i].id() == id;
        TContentIndex c;
        if (!found && !in.Contents.Has(64)) found = false;  // the whole list was seen
        else if (!found) found = withHidden ? IsArticleId(id) && FindContent(m.AccountFolder(), id, c) : FindPublicContent(m, id, c);
        it = shown.emplace(id, found).first;
      }
      return it->second;
    });
  }
  if (archiveMonth) {
    CalendarMonthOf(m.Arg3, in.CalendarYear, in.CalendarMonth);
  } else {
    const TDateTime now = Now();
    in.CalendarYear = now.Year;
    in.CalendarMonth = now.Month;
  }
}

// The head of the list and album pages up to the body's alignment and login header.
void ListPageHead(TWebModule1& m, TStringList& page, bool feedAndDescription) {
  DocumentStart(page);
  if (feedAndDescription) {
    FeedLinkLine(m, page);
    PageIconLine(m, page);
  }
  page.push_back(CharsetMeta(m));
  if (feedAndDescription) DescriptionMeta(m, page);
  TypeMetas(page, true);
  page.push_back("<title>" + m.Account.Title + "</title>");
  StyleBlock(m, page, false);
  ScriptBlock(m, page, false);
  page.push_back("</head><body>");
  PopupDivisions(page);
  page.push_back(AlignDivision(m));
  LoginHeader(m, page);
}

// The title cell, the page table with its cells, the footer and the end of the page.
void ListPageBody(TWebModule1& m, TStringList& page, const TSideMenuInput& in,
                  const std::function<void(TStringList&)>& content) {
  page.push_back(TitleCell(m));
  page.push_back(TableOpen(m) + "<tr>");
  LayoutCells(m, page, in, content);
  page.push_back("</tr></table>" + ReadCustomFooter(m.AccountFolder()) + "</div></body></html>");
  m.Response.SetContent(PageText(page));
}

// The title line of the single-article and printable pages by SINGLELOGTITLE=; none for
// other values. Without a subject (a blog closed by its view password) the blog title alone.
void ArticleTitle(const TWebModule1& m, TStringList& page, const std::string* subject) {
  const std::string& blog = m.Account.Title;
  const int form = m.Css.SINGLELOGTITLE;
  if (!subject && form >= 0 && form <= 2) {
    page.push_back("<title>" + blog + "</title>");
    return;
  }
  switch (form) {
    case 0: page.push_back("<title>" + blog + "</title>"); break;
    case 1: page.push_back("<title>" + blog + " - " + *subject + "</title>"); break;
    case 2: page.push_back("<title>" + *subject + " - " + blog + "</title>"); break;
    default: break;
  }
}

void NotFound(TWebModule1& m, TStringList& page) {
  page.push_back("</head>");
  page.push_back("<body>記事はありません</body></html>");
  m.Response.SetContent(PageText(page));
}

bool FindIn(const TContentRefList& list, const std::string& id, TContentIndex& content) {
  for (const TContentRef& c : list)
    if (c.id() == id) {
      content = ToContentIndex(c);
      return true;
    }
  return false;
}

}  // namespace

int TWebModule1::DoArticleList(const TCommandEntry&) {
  const std::string searchWord = Request.ContentFieldValue("searchword");
  TStringList page;
  ListPageHead(*this, page, true);
  LogAccess();
  TSideMenuInput in;
  LoadSideMenuInput(*this, in, false, true);
  ListPageBody(*this, page, in, [&](TStringList& p) {
    if (ViewPasswordOK()) ArticleListCell(*this, p, in.Contents, searchWord);
    else p.push_back(ViewPasswordCell());
  });
  return 1;
}

int TWebModule1::DoPhotoAlbum(const TCommandEntry&) {
  TStringList page;
  ListPageHead(*this, page, false);
  LogAccess();
  TSideMenuInput in;
  LoadSideMenuInput(*this, in, false, true);
  ListPageBody(*this, page, in, [&](TStringList& p) {
    if (ViewPasswordOK()) PhotoAlbumCell(p);
    else p.push_back(ViewPasswordCell());
  });
  return 1;
}

int TWebModule1::DoLinkList(const TCommandEntry&) {
  TStringList page;
  PlainPageHead(*this, page);
  LogAccess();
  TSideMenuInput in;
  LoadSideMenuInput(*this, in, false, false);
  page.push_back(TitleCell(*this));
  page.push_back(TableOpen(*this) + "<tr>");
  LayoutCells(*this, page, in, [&](TStringList& p) {
    if (ViewPasswordOK()) LinkPageCell(p, in);
    else p.push_back(ViewPasswordCell());
  });
  page.push_back("</tr></table></div></body></html>");
  Response.SetContent(PageText(page));
  return 1;
}

int TWebModule1::DoSingleArticle(const TCommandEntry&) {
  if (Response.Sent()) return 0;  // a comment post has answered already
  TSideMenuInput in;
  LoadSideMenuInput(*this, in, false, false);
  TContentIndex content;
  const bool open = !in.Closed;
  const bool found = open ? FindIn(in.Contents, Arg3, content) : FindPublicContent(*this, Arg3, content);

  TStringList page;
  DocumentStart(page);
  PageIconLine(*this, page);
  page.push_back(CharsetMeta(*this));
  TypeMetas(page, true);
  if (!found) {
    NotFound(*this, page);
    return 1;
  }
  // Without the view password the subject stays out of the title as well.
  ArticleTitle(*this, page, open ? &content.title : nullptr);
  page.push_back("</head>");
  ScriptBlock(*this, page, true);
  StyleBlock(*this, page, false);
  page.push_back("<body>");
  PopupDivisions(page);
  page.push_back(AlignDivision(*this));
  LoginHeader(*this, page);
  LogAccess();
  page.push_back(TitleCell(*this));
  page.push_back(TableOpen(*this));
  page.push_back("<tr>");
  LayoutCells(*this, page, in, [&](TStringList& p) {
    if (open) {
      ArticleCell(*this, p, content, TArticlePage::Single);
    } else {
      p.push_back(ViewPasswordCell());
      p.push_back("このブログはパスワードが必要な為ＰＣ以外からは閲覧できません");
    }
  });
  page.push_back("</tr></table></div>" + ReadCustomFooter(AccountFolder()));
  page.push_back("</body></html>");
  Response.SetContent(PageText(page));
  return 1;
}

int TWebModule1::DoPrintable(const TCommandEntry&) {
  TContentIndex content;
  const bool found = FindPublicContent(*this, Arg3, content);
  const bool open = ViewPasswordOK();

  TStringList page;
  DocumentStart(page);
  page.push_back(CharsetMeta(*this));
  TypeMetas(page, true);
  if (!found) {
    NotFound(*this, page);
    return 1;
  }
  ArticleTitle(*this, page, open ? &content.title : nullptr);
  page.push_back("</head>");
  StyleBlock(*this, page, false);
  page.push_back("<body>");
  page.push_back("<div align=\"left\">");
  LogAccess();
  page.push_back(TableOpen(*this) + "<tr>");
  if (open) ArticleCell(*this, page, content, TArticlePage::Printable);
  else page.push_back(ViewPasswordCell());
  page.push_back("</tr></table></div>");
  page.push_back("</body></html>");
  Response.SetContent(PageText(page));
  return 1;
}

int TWebModule1::DoPreview(const TCommandEntry&) {
  TStringList page;
  DocumentStart(page);
  page.push_back(CharsetMeta(*this));
  TypeMetas(page, true);
  page.push_back("<title>" + Account.Title + "</title>");
  ScriptBlock(*this, page, true);
  StyleBlock(*this, page, true);
  PopupDivisions(page);
  page.push_back(AlignDivision(*this));
  LoginHeader(*this, page);
  page.push_back(TitleCell(*this));
  page.push_back(TableOpen(*this) + "<tr>");
  if (CheckLogin()) {
    TSideMenuInput in;
    LoadSideMenuInput(*this, in, true, false);
    TContentIndex content;
    const bool found = FindIn(in.Contents, Arg3, content);
    LayoutCells(*this, page, in, [&](TStringList& p) {
      if (found) {
        ArticleCell(*this, p, content, TArticlePage::Preview);
      } else {
        p.push_back("<td class=\"contentcell\">");
        p.push_back("記事はありません");
        p.push_back("</td>");
      }
    });
  } else {
    page.push_back("<td>記事の閲覧は禁止されています<br>");
    page.push_back("</td>");
  }
  page.push_back("</tr></table></div></body></html>");
  Response.SetContent(PageText(page));
  return 1;
}
