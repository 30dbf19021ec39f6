// The article body renderer: any stored body becomes page text, and the teaser of it too.
#include <cstdint>
#include <string>

#include "app/settings.h"
#include "fuzz_support.h"
#include "render/article_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = FuzzFolder();
  static const std::string id(40, 'a');
  WriteFuzzFile(folder + id + ".txt", data, size);
  static const std::string attach = "a.jpg\r\nb.GIF\r\nc.pdf\r\n";
  WriteFuzzFile(folder + id + ".iix", reinterpret_cast<const uint8_t*>(attach.data()), attach.size());
  TSystemSettings sys;
  DefaultSystemSettings(folder, sys);
  TCSSValue css;
  css.SIMAGEWIDTH = size % 2 ? 240 : 0;
  css.CONTENTSKIPMETHOD = static_cast<int>(size % 4);
  std::string first;
  const std::string html = RenderArticleBody(sys, "demo", css, folder, id, true, first);
  for (int method = 1; method <= 3; ++method)
    (void)MakeTeaser(html, method, static_cast<int>(size % 300), first, "http://127.0.0.1/", "demo", id, "");
  std::vector<std::string> names;
  (void)RenumberPictureTags(std::string(reinterpret_cast<const char*>(data), size), names);
  return 0;
}
