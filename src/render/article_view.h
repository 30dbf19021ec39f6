// Articles through their templates: the list cell with paging and search, the single-article,
// preview and printable cells, and the comment list under an article.
#pragma once
#include <string>
#include <string_view>

#include "app/Unit1.h"

// Which page an article is drawn for; each fills its own set of template tags.
enum class TArticlePage { List, Single, Preview, Printable };

// The main page's content cell for the request words; `contents` are the public articles,
// newest first (what the side menu shows).
void ArticleListCell(TWebModule1& m, TStringList& page, const TContentRefList& contents,
                     const std::string& searchWord);
// The single-article (with comments) and preview cells; the printable cell.
void ArticleCell(TWebModule1& m, TStringList& page, const TContentIndex& content, TArticlePage kind);
// An article's shown comments (newest first) through the comment template, folded after
// COMMENTFOLDING=.
void CommentList(TWebModule1& m, TStringList& page, const TCommentList& comments);
// Comments are taken while USECOMMENT= is on and COMMENTLIMIT= days have not passed since the update.
bool CommentsOpen(const TCSSValue& css, const TContentIndex& content);

// The third request word as a date archive (6 or 8 characters) and the month it shows.
bool IsDateArchive(const std::string& word);
void CalendarMonthOf(const std::string& word, int& year, int& month);
// Bytes of needle in hay at a character start; ASCII letters compared without case.
bool ContainsWord(std::string_view hay, std::string_view needle);
