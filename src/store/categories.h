// Categories (category.txt) and category header files (.ched).
#pragma once
#include <string>

#include "store/velmlib.h"

void LoadCategoryList(const std::string& accountFolder, TCategoryList& list);
const TCategoryData* FindCategory(const TCategoryList& list, const std::string& id);
// The name of the first category with this id, "Any Category" when there is none.
std::string CategoryName(const TCategoryList& list, const std::string& id);
std::string CategoryHeader(const std::string& accountFolder, const std::string& id); // "" when none

enum class TCategoryChange { Done, Duplicate, Missing, Failed };
// Names are escaped here before the duplicate test and the write (add and rename refuse a name
// another category has).
TCategoryChange AddCategory(const std::string& accountFolder, const std::string& name, std::string* newId = nullptr);
TCategoryChange RenameCategory(const std::string& accountFolder, const std::string& id, const std::string& name);
TCategoryChange MoveCategoryUp(const std::string& accountFolder, const std::string& id);
TCategoryChange SetCategoryVisible(const std::string& accountFolder, const std::string& id, bool visible);
TCategoryChange DeleteCategory(const std::string& accountFolder, const std::string& imageFolder, const std::string& id);
