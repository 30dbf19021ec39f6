// velm.exe: one CGI request from the environment to one complete response.
#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "app/Unit1.h"

namespace {
// The readable class name of an exception ("std::runtime_error", not its mangled form).
std::string ClassName(const std::exception& e) {
  int status = 0;
  char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
  std::string out = status == 0 && name ? name : typeid(e).name();
  free(name);
  return out;
}
}  // namespace

int main(int argc, char** argv) {
  TCGIRequest request(argc, argv, stdin);
  TCGIResponse response(request.ProtocolVersion());
  try {
    TWebModule1 module(request, response);
    module.WebModule1WebActionItem1Action();
  } catch (const std::exception& e) {
    request.DrainBody();
    std::string page = InternalErrorResponse(ClassName(e), e.what());
    fwrite(page.data(), 1, page.size(), stdout);
    fflush(stdout);
    return 0;
  } catch (...) {
    request.DrainBody();
    std::string page = InternalErrorResponse("Exception", "unknown exception");
    fwrite(page.data(), 1, page.size(), stdout);
    fflush(stdout);
    return 0;
  }
  request.DrainBody();
  response.Send(stdout);
  return 0;
}
