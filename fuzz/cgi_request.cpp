// The CGI gateway: request words, variables, cookies and form fields from any bytes. The input
// is cut at NUL bytes into the query string, the cookie header, the content type and the body.
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <string>

#include "gateway/cgi_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string parts[4];
  size_t k = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && k < 3) ++k;
    else parts[k] += static_cast<char>(data[i]);
  }
  setenv("QUERY_STRING", parts[0].c_str(), 1);
  setenv("HTTP_COOKIE", parts[1].c_str(), 1);
  setenv("CONTENT_TYPE", parts[2].c_str(), 1);
  setenv("CONTENT_LENGTH", std::to_string(parts[3].size() + size % 3).c_str(), 1);
  setenv("HTTP_ORIGIN", parts[1].substr(0, parts[1].size() / 2).c_str(), 1);
  setenv("HTTP_HOST", parts[2].substr(0, 20).c_str(), 1);
  FILE* body = fmemopen(parts[3].data(), parts[3].size() + 1, "rb");
  if (!body) return 0;
  TCGIRequest r(0, nullptr, body);
  r.SetBodyLimit(static_cast<long long>(size % 7 == 0 ? 4 : 1 << 20));
  for (int w = 1; w <= 4; ++w) (void)r.Word(w);
  for (const char* name : {"title", "loginname", "a", "", "INPASS"}) {
    const std::string v = r.ContentFieldValue(name);
    if (!r.BodyTooLarge() && v != FieldValue(r.ContentFields(), name)) abort();
    (void)r.CookieFieldValue(name);
  }
  (void)r.RawBody();
  (void)r.FromOtherSite();
  (void)URLDecode(parts[0]);
  fclose(body);
  return 0;
}
