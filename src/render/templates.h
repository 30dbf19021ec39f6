// Templates named in velm.ini and kept in the template folder beside the executable.
#pragma once
#include <string>

#include "app/settings.h"

// The lines of the first entry of list whose name equals name exactly and whose file exists in
// templateFolder. False (lines empty) when name is empty, no entry matches or its file is missing.
bool LoadNamedTemplate(const TContentTempList& list, const std::string& name, const std::string& templateFolder,
                       TStringList& lines);
