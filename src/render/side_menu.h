// The side menu cell, the sub column cell and the link page content cell.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "app/settings.h"

// The built-in menu template, used when neither the custom menu nor a named template applies.
const TStringList& DefaultMenuLines();
// The text of each gadget box 1 to SIDEMENUMAX=: its block of the account's sidemenu.txt, else
// the default box of velm.ini, else empty.
TStringList LoadSideMenuBoxes(const std::string& accountFolder, const TSystemSettings& sys);
// Box n (from 1) of the lines of sidemenu.txt, for each box not yet filled.
void ReadSideMenuBlocks(const TStringList& lines, std::vector<std::optional<std::string>>& boxes);
