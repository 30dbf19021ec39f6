// Shared by the fuzz targets whose readers take files: a private folder, in memory where it can.
#pragma once
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The folder lives as long as the process (every forked run makes its own) and ends in "/".
class TFuzzFolder {
public:
  TFuzzFolder() {
    std::string tmpl = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/velm-fuzz-XXXXXX";
    if (!mkdtemp(tmpl.data())) abort();
    FPath = tmpl + "/";
  }
  ~TFuzzFolder() {
    if (DIR* d = opendir(FPath.c_str())) {
      while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.' && e->d_name[1] != '\0'))
          unlink((FPath + e->d_name).c_str());
      closedir(d);
    }
    rmdir(FPath.c_str());
  }
  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
};

inline const std::string& FuzzFolder() {
  static const TFuzzFolder folder;
  return folder.Path();
}

inline void WriteFuzzFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
}
