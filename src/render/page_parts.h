// The skeleton shared by the public pages: head lines, script and style blocks, the login
// header, the title cell, the page table and the column order.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "app/Unit1.h"

// Each line followed by CR LF.
std::string PageText(const TStringList& page);

// "<!DOCTYPE ...>" and "<html lang="ja"><head>".
void DocumentStart(TStringList& page);
void FeedLinkLine(const TWebModule1& m, TStringList& page);      // always one line, "" for an unknown version
void PageIconLine(const TWebModule1& m, TStringList& page);      // only when velm_favicon.ico exists
std::string CharsetMeta(const TWebModule1& m);
void DescriptionMeta(const TWebModule1& m, TStringList& page);   // only with a title-cell text
void TypeMetas(TStringList& page, bool scriptType);
// "<style type="text/css">" ... "</style>", or "</style></head><body>" as the last line.
void StyleBlock(const TWebModule1& m, TStringList& page, bool closeHead);
// The keyword popup script, optionally the comment folding function, and customjava.txt.
void ScriptBlock(const TWebModule1& m, TStringList& page, bool foldComments);
void PopupDivisions(TStringList& page);
std::string AlignDivision(const TWebModule1& m);
void LoginHeader(TWebModule1& m, TStringList& page);
// The head of a page without scripts, through the login header: document start, charset and type
// metas, the title, the style block closing the head, and the align division.
void PlainPageHead(TWebModule1& m, TStringList& page);
std::string TitleCell(const TWebModule1& m);
std::string TableOpen(const TWebModule1& m);  // without "<tr>"

// The column order of a LAYOUTTYPE= value (0 for one out of range): n side menu, c content, s sub column.
const char* LayoutOrder(int type);
// The cells of the page table in the order of LAYOUTTYPE= (navi = side menu, sub = sub column).
void LayoutCells(TWebModule1& m, TStringList& page, const TWebModule1::TSideMenuInput& in,
                 const std::function<void(TStringList&)>& content);

// The article date in the form chosen by TIMETYPE=.
std::string FormatLogDate(const std::string& date, int timeType);
// Fourteen digits of a stored timestamp: "/", ":" and " " removed.
std::string PagingKeyOf(std::string_view date);
