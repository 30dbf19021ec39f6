// A request module of one account in a temporary folder, for tests that call its operations.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/Unit1.h"

inline std::string MakeTempFolder(const char* prefix) {
  std::string tmpl = std::string("/tmp/") + prefix + "-XXXXXX";
  return std::string(mkdtemp(tmpl.data())) + "/";
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Account "demo" (login "owner") with its folders made in `root`, or in a temporary folder removed
// with the fixture when none is given. A request body is read as a posted form.
class TModuleFixture {
  const bool FOwnRoot;
  std::string FBody;
  char FName[9] = "velm.exe";
  char* FArgv[2] = {FName, nullptr};
  FILE* FIn;
  TCGIRequest FRequest;
  TCGIResponse FResponse{"HTTP/1.1"};
  static FILE* Open(std::string& body) {
    if (body.empty()) return std::fopen("/dev/null", "r");
    setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
    return fmemopen(body.data(), body.size(), "r");
  }

public:
  const std::string Root;
  TWebModule1 Module{FRequest, FResponse};
  explicit TModuleFixture(const std::string& root = "", const std::string& body = "")
      : FOwnRoot(root.empty()), FBody(body), FIn(Open(FBody)), FRequest(1, FArgv, FIn),
        Root(FOwnRoot ? MakeTempFolder("velm-module") : root) {
    unsetenv("CONTENT_LENGTH");
    Module.ExeFolder = Root;
    Module.Sys.DATAFOLDER = Root + "data/";
    Module.Account.LoginName = "owner", Module.Account.Password = "secret";
    Module.Account.Id = Module.AccountWord = "demo";
    for (const auto& d : {Module.AccountFolder(), Module.AccountImageFolder(), Module.TemplateFolder()})
      std::filesystem::create_directories(d);
  }
  ~TModuleFixture() {
    std::fclose(FIn);
    if (FOwnRoot) std::filesystem::remove_all(Root);
  }
};
