// The trackback ping a new article sends to the address its author gave.
#pragma once
#include <string>

class TWebModule1;

// Posts the article's title, excerpt, address and blog name to target and returns the text the
// save page shows: the article's address, then what the answer said.
std::string SendTrackBack(TWebModule1& m, const std::string& target, const std::string& articleId,
                          const std::string& subject);
