// The article save (SS) from any field values, new or changed, with pending and saved pictures,
// and the edit page (EC) made back from what it stored. The input is cut at NUL bytes into
// elogid, category, subject, cdate, ucontent and a byte of switches; an elogid of "E" names the
// stored article. Afterwards the index is one record per line, the saved article is found with
// the subject it was given, its body has no break inside a line, its pictures carry its name and
// nothing is written outside the account's folders.
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "fuzz_support.h"
#include "store/DCSVList.h"
#include "store/articles.h"
#include "text/DString.h"

namespace {

namespace fs = std::filesystem;

const std::string kStored = ArticleIdOf("2026/10/01 10:00:00");

void Put(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string Encode(const std::string& s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) out += {'%', hex[c >> 4], hex[c & 15]};
  return out;
}

// The index ids in file order; traps on a line that is not one whole record.
std::vector<std::string> IndexIds(const std::string& folder, std::vector<std::string>* titles = nullptr) {
  std::vector<std::string> ids;
  TCSVList c;
  for (const std::string& line : SplitLines(Get(folder + "cindex.txt"))) {
    c.SetLine(line);
    if (c.Count() != 6 || !IsArticleId(c.Item(1))) __builtin_trap();
    ids.push_back(c.Item(1));
    if (titles) titles->push_back(c.Item(4));
  }
  return ids;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string parts[6];
  size_t k = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && k < 5) ++k;
    else parts[k] += static_cast<char>(data[i]);
  }
  const unsigned flags = parts[5].empty() ? 0 : static_cast<unsigned char>(parts[5][0]);

  // A fresh installation: one stored article with two pictures, and (by the switches) a pending one.
  const std::string root = FuzzFolder() + "blog/", folder = root + "velmsystem/owner/",
                    images = root + "images/demo/";
  fs::remove_all(root);
  fs::create_directories(folder);
  fs::create_directories(images);
  Put(folder + "cindex.txt", "\"c1\",\"" + kStored + "\",\"2026/10/01 10:00:00\",\"2026/10/01 10:00:00\",\"t\",\"1\"\r\n");
  Put(folder + kStored + ".txt", "<BIMAGE src=\"1\"><BIMAGE src=\"2\">\r\n");
  if (flags & 1) {
    Put(folder + kStored + ".iix", kStored + "-1.jpg\r\n" + kStored + "-2.gif\r\n");
    Put(images + kStored + "-1.jpg", "one");
    Put(images + kStored + "-2.gif", "two");
  }
  if (flags & 2) {
    Put(folder + "workatt.txt", "\"pendingpicture01.png\",\"3\",\"token\"\r\n\"../escape.png\",\"1\",\"t\"\r\n");
    Put(images + "pendingpicture01.png", "new");
  }

  const std::string id = parts[0] == "E" ? kStored : parts[0];
  std::string body = "elogid=" + Encode(id) + "&category=" + Encode(parts[1]) + "&subject=" + Encode(parts[2]) +
                     "&cdate=" + Encode(parts[3]) + "&ucontent=" + Encode(parts[4]);
  if (flags & 4) body += "&cnvhtml=1";
  if (flags & 8) body += "&cvisible=1";
  setenv("REQUEST_METHOD", "POST", 1);
  setenv("CONTENT_TYPE", "application/x-www-form-urlencoded", 1);
  setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
  FILE* in = fmemopen(body.data(), body.size() + 1, "rb");
  if (!in) return 0;
  TCGIRequest request(0, nullptr, in);
  request.SetBodyLimit(4 << 20);
  TCGIResponse response("HTTP/1.1");
  TWebModule1 m(request, response);
  m.ExeFolder = root;
  m.Sys.DATAFOLDER = root + "velmsystem/";
  m.Account.LoginName = "owner";
  m.Account.Id = "demo";
  m.Sys.ALLNEWSNAME.clear();
  TCommandEntry entry{};
  entry.Word = "SS";

  const std::vector<std::string> before = IndexIds(folder);
  m.DoSaveArticle(entry);
  std::vector<std::string> titles;
  const std::vector<std::string> after = IndexIds(folder, &titles);
  if (after.size() < before.size() || after.size() > before.size() + 1) __builtin_trap();
  std::string saved = after.size() > before.size() ? after.back() : (id == kStored ? kStored : "");
  if (!saved.empty()) {
    TContentIndex c;
    if (!FindContent(folder, saved, c) || c.title.empty() || c.title.find_first_of("\r\n") != std::string::npos)
      __builtin_trap();
    const std::string text = Get(folder + saved + ".txt");
    // Every line ends in CR LF; no lone CR or LF and no NUL.
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\0' || (text[i] == '\r') != (i + 1 < text.size() && text[i + 1] == '\n') ||
          (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')))
        __builtin_trap();
    // A listed picture whose source was not a plain name keeps its number without a file.
    for (const std::string& name : SplitLines(Get(folder + saved + ".iix")))
      if (!IsSafeFileWord(name) || name.rfind(saved + "-", 0) != 0) __builtin_trap();
    // And back: the edit page of what was stored.
    m.Arg3 = saved;
    m.EditorCarry = {};
    m.DoEditArticle(entry);
  }
  // Nothing outside the account's folders (a file named from a posted value would show here).
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string p = e.path().string();
    if (p.rfind(folder, 0) != 0 && p.rfind(images, 0) != 0 && p + "/" != folder && p + "/" != images &&
        p + "/" != root + "velmsystem/" && p + "/" != root + "images/")
      __builtin_trap();
  }
  fclose(in);
  return 0;
}
