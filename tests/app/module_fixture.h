// A request module of one account in a temporary folder, for tests that call its operations.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/Unit1.h"

class TModuleFixture {
public:
  explicit TModuleFixture(const std::string& root)
      : FIn(std::fopen("/dev/null", "r")), FRequest(1, FArgv, FIn), FResponse("HTTP/1.1"),
        Module(FRequest, FResponse) {
    Module.ExeFolder = root;
    Module.Sys.DATAFOLDER = root + "data/";
    Module.Account.LoginName = "owner";
    Module.Account.Password = "secret";
    Module.Account.Id = "demo";
    Module.AccountWord = "demo";
  }
  ~TModuleFixture() { std::fclose(FIn); }
  TCGIResponse& Response() { return FResponse; }

private:
  char FName[9] = "velm.exe";
  char* FArgv[2] = {FName, nullptr};
  FILE* FIn;
  TCGIRequest FRequest;
  TCGIResponse FResponse;

public:
  TWebModule1 Module;
};

inline std::string MakeTempFolder(const char* prefix) {
  std::string tmpl = std::string("/tmp/") + prefix + "-XXXXXX";
  return std::string(mkdtemp(tmpl.data())) + "/";
}
