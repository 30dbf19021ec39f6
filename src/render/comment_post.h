// The comment form under a single article and the comment post (SM) with its result page.
#pragma once
#include <string>

#include "app/Unit1.h"

// Posted text is cut at receipt (at a character boundary) to these many bytes.
constexpr size_t kCommentNameBytes = 100;
constexpr size_t kCommentTextBytes = 16384;

// The form that posts a comment to the article (with a new picture code when USEKEYIMAGE= is on).
void CommentForm(TWebModule1& m, TStringList& page, const TContentIndex& content);

// The poster's name as stored: one line without tags, or defaultName when nothing is left;
// `plain` gets it before the escape (the guestname cookie).
std::string CommentPosterName(const std::string& posted, const std::string& defaultName, std::string& plain);
// The comment text as stored: each line escaped and followed by "<br>", the empty lines at the
// end dropped; empty when nothing is left.
std::string CommentStoredText(const std::string& posted);
// Whether a line of the word list occurs in the posted text or the stored name, both upper-cased
// without blanks (full-width ones too).
bool CommentWordBlocked(const TStringList& words, const std::string& postedText, const std::string& storedName);
