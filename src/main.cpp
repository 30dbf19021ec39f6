// velm.exe: one CGI request from the environment to one complete response.
#include <cstdio>
#include <exception>
#include <typeinfo>

#include "app/Unit1.h"

int main(int argc, char** argv) {
  TCGIRequest request(argc, argv, stdin);
  TCGIResponse response(request.ProtocolVersion());
  try {
    TWebModule1 module(request, response);
    module.WebModule1WebActionItem1Action();
  } catch (const std::exception& e) {
    std::string page = InternalErrorResponse(typeid(e).name(), e.what());
    fwrite(page.data(), 1, page.size(), stdout);
    fflush(stdout);
    return 0;
  } catch (...) {
    std::string page = InternalErrorResponse("Exception", "unknown exception");
    fwrite(page.data(), 1, page.size(), stdout);
    fflush(stdout);
    return 0;
  }
  response.Send(stdout);
  return 0;
}
