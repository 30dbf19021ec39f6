// Article bodies into HTML: picture tags, line breaks, teasers; the editor's picture-tag helpers.
#pragma once
#include <string>
#include <vector>

#include "app/css_value.h"
#include "app/settings.h"

// Reads accountFolder + id + ".txt" and ".iix". Without convert the stored text comes back unchanged.
// firstPicture receives the floated first picture for CONTENTSKIPMETHOD= 2 and 3.
std::string RenderArticleBody(const TSystemSettings& sys, const std::string& accountId, const TCSSValue& css,
                              const std::string& accountFolder, const std::string& articleId, bool convert,
                              std::string& firstPicture);
// The teaser of an article list: summary cut to length + the read-more link
// (linkBase + "velm.exe?" + account + "+sl+" + id + linkSuffix). Methods 2 and 3 put firstPicture first.
std::string MakeTeaser(const std::string& html, int method, int length, const std::string& firstPicture,
                       const std::string& linkBase, const std::string& accountId, const std::string& articleId,
                       const std::string& linkSuffix);
// Drops picture tags of unknown numbers and unused attachments; renumbers the rest.
std::string RenumberPictureTags(const std::string& body, std::vector<std::string>& attachNames);
std::string PictureTagOptions(int n, bool floats, int imageWidth);
