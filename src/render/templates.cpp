// Templates named in velm.ini and kept in the template folder beside the executable.
#include "render/templates.h"

#include "store/file_access.h"
#include "text/DString.h"

bool LoadNamedTemplate(const TContentTempList& list, const std::string& name, const std::string& templateFolder,
                       TStringList& lines) {
  lines.clear();
  if (name.empty()) return false;
  for (const TContentTemp& t : list) {
    if (t.Name != name) continue;
    // velm.ini names a file of the template folder, never one elsewhere.
    if (!IsSafeFileWord(t.Text)) continue;
    const std::string path = templateFolder + t.Text;
    if (!FileExists(path)) continue;
    return LoadLinesFromFile(path, lines);
  }
  return false;
}
