// The article editor's files: pending pictures (workatt.txt), saved pictures (<id>.iix) and
// article bodies (<id>.txt). Every change is locked and replaces its file atomically.
#pragma once
#include <string>

#include "store/velmlib.h"

// Appends the record of an upload stored as `name` in the account's image folder.
bool AppendWorkAttach(const std::string& accountFolder, const std::string& name, long long size,
                      const std::string& token);
// Removes the records whose stored names are in `names`; workatt.txt goes when no line is left.
// `removed` receives the names that were there. False when the file could not be rewritten.
bool RemoveWorkAttach(const std::string& accountFolder, const TStringList& names, TStringList* removed = nullptr);
// Removes the line `name` from <id>.iix (deleted when no line is left); `found` tells whether
// it was there.
bool RemoveAttachName(const std::string& accountFolder, const std::string& id, const std::string& name, bool& found);
// Writes <id>.iix, or deletes it when there are no names.
bool SaveAttachNames(const std::string& accountFolder, const std::string& id, const TStringList& names);
// Writes <id>.txt, every line followed by CR LF.
bool SaveArticleBody(const std::string& accountFolder, const std::string& id, const TStringList& lines);
// Copies a file; `to` is replaced atomically.
bool CopyDataFile(const std::string& from, const std::string& to);
