// Record lines: quoted comma-separated fields, split by TCSVList.
#pragma once
#include <string>
#include <vector>

class TCSVList {
public:
  TCSVList();
  void SetLine(const std::string& line);          // split, replacing all fields
  const std::string& Item(int index) const;       // "" at or beyond Count()
  int Count() const { return FCount; }
  void ClearItems();
  const std::string& Line() const { return FLine; }
  char Separator() const { return ','; }

private:
  int FCount = 0;
  std::string FLine;
  std::vector<std::string> FItems;
};

// "A","B","C" - fields are written as given (callers escape user text first).
std::string MakeRecordLine(const std::vector<std::string>& fields);
