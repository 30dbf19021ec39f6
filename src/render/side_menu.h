// The side menu cell, the sub column cell and the link page content cell.
#pragma once
#include "app/settings.h"

// The built-in menu template, used when neither the custom menu nor a named template applies.
const TStringList& DefaultMenuLines();
