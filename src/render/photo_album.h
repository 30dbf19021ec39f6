// Photo album: the picture cells of one article, the album list and the photo choice.
#pragma once
#include <string>

#include "app/css_value.h"
#include "store/velmlib.h"

// Where one account's articles and pictures are.
struct TPhotoPlace {
  std::string AccountId;
  std::string AccountFolder;  // <id>.txt and <id>.iix; ends in "/"
  std::string ImageFolder;    // the account's pictures on disk; ends in "/"
  std::string ImageURL;       // IMAGEPATH= + account id + "/"
};

// With urlOnly: the URL of the article's first picture, "" when it has none. Otherwise the
// album cells of its pictures; column is the album row's column, kept across articles.
// "" when the body file is missing, "noread" when the attachment list cannot be read.
std::string PhotoCells(const TPhotoPlace& place, const TCSSValue& css, const TContentIndex& content,
                       bool urlOnly, int& column);

