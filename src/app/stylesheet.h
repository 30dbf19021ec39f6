// The stylesheet rules of every page head (without the surrounding <style> lines).
#pragma once
#include <string>

#include "app/css_value.h"
#include "app/settings.h"

// The three widths the rules are laid out with: velm.ini's for the blog pages, the values kept
// aside (Sys*) for the administration frame.
struct TCellWidths {
  std::string Large;
  int Navi = 0, Sub = 0;
};

struct TStyleSheetInput {
  const TSystemSettings& Sys;      // IMAGEPATH=
  TCellWidths Widths;
  std::string AccountId;
  std::string AccountFolder;       // customcss.txt, ends in "/"
  std::string AccountImageFolder;  // images/<account id>/ on disk, ends in "/"
  const TCSSValue& Css;
};

void WriteStyleSheet(TStringList& page, const TStyleSheetInput& in);
