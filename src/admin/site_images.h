// The site images of an account: title background, page background and profile picture.
#pragma once
#include <string>

#include "app/Unit1.h"

// The stored image of a base name as named on disk: base + ".jpg", ".gif" or ".png" in this
// order, letters in any case; "" when there is none.
std::string FindSiteImage(const std::string& accountImageFolder, const std::string& base);
// The block of upload and delete forms under the settings page.
void SiteImageBlock(TWebModule1& m, TStringList& page);
