// The link page of the owner.
#pragma once
#include <string>

#include "app/Unit1.h"

// The link page under a message: the form (filled from the link named by argument 3, or from
// a checked address and the title fetched from it) and the list of links.
void LinkPage(TWebModule1& m, const std::string& message, const std::string& checkedUrl,
              const std::string& fetchedTitle);
