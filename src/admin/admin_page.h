// The owner's pages: the administration frame with its settings cell, and small text helpers.
#pragma once
#include <string>

#include "app/Unit1.h"

// The two closings of the owner's pages: the article editor's and that of the list pages.
extern const char* const kCloseEditorPage;  // "</td></tr></table></div></body></html>"
extern const char* const kCloseListPage;    // "</td></tr></table></body></html>"

// A page inside the administration frame: the frame and "</td><td class="settingcell">" are
// written at once; the caller adds its lines and finishes with one of the closings.
class TAdminPage {
public:
  explicit TAdminPage(TWebModule1& m);
  void Add(std::string line) { FLines.push_back(std::move(line)); }
  void Finish(const char* closing);  // the page becomes the response content

private:
  TWebModule1& M;
  TStringList FLines;
};

// "<span style="color:" colour "">" text "</span>"
std::string Colored(const std::string& color, const std::string& text);
// A textarea whose text comes back exactly as given when its form is posted.
std::string TextArea(const std::string& name, int cols, int rows, const std::string& text);
