// The JPEG editor's change with every effect on a 4000 x 3000 picture: whole requests of
// velm.exe (read, decode, edit, encode, write, the editor page), wall time and peak memory.
//   bench_jpeg_bench [--quick]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "images/bitmap.h"

namespace fs = std::filesystem;

namespace {

struct TSample {
  double Ms, CpuMs;  // wall time; user and system time of the process
  long MaxRssKiB;
  int Status;
};

TSample Change(const std::string& root, const std::string& fields) {
  const std::string bodyPath = root + "body.txt";
  std::ofstream(bodyPath, std::ios::binary) << fields;
  std::vector<std::string> env = {"SERVER_PROTOCOL=HTTP/1.1", "REQUEST_METHOD=POST", "QUERY_STRING=demo+jd",
                                  "CONTENT_LENGTH=" + std::to_string(fields.size()),
                                  "CONTENT_TYPE=application/x-www-form-urlencoded", "HTTP_COOKIE=INNAME=owner; INPASS=secret",
                                  "HTTP_HOST=127.0.0.1", "REMOTE_ADDR=127.0.0.1", "TZ=Asia/Tokyo", "SCRIPT_NAME=/velm.exe"};
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string path = root + "velm.exe";
  char* argv[] = {path.data(), nullptr};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, bodyPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, root.c_str());
  pid_t pid;
  int status = 0;
  struct rusage ru {};
  const double ms = Ms([&] {
    if (posix_spawn(&pid, path.c_str(), &fa, nullptr, argv, envp.data()) != 0) {
      perror("posix_spawn");
      exit(1);
    }
    wait4(pid, &status, 0, &ru);
  });
  posix_spawn_file_actions_destroy(&fa);
  const double cpu = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
  return {ms, cpu, ru.ru_maxrss, status};
}

// A photograph-like picture: soft gradients, hard edges and sensor noise.
std::string Photo(int w, int h) {
  TBitmap24 b;
  b.Resize(w, h);
  std::mt19937 rng(7);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.Row(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const int noise = static_cast<int>(rng() % 17) - 8;
      const int edge = ((x / 250 + y / 250) % 2) * 40;
      p[0] = static_cast<uint8_t>(std::clamp(x * 200 / w + edge + noise, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(y * 180 / h + 30 + noise, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp((x + y) * 150 / (w + h) + 60 - edge + noise, 0, 255));
    }
  }
  std::string jpeg;
  EncodeJPEG(b, jpeg, 90);
  return jpeg;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const int runs = quick ? 3 : 7;
  const std::string velm = fs::absolute(fs::path(argv[0])).parent_path().string() + "/velm.exe";
  if (!fs::exists(velm)) {
    fprintf(stderr, "needs velm.exe beside this program\n");
    return 1;
  }
  const std::string root = "/tmp/velm-jpeg-bench-" + std::to_string(getpid()) + "/";
  fs::create_directories(root + "velmsystem/owner");
  fs::create_directories(root + "images/demo");
  fs::copy_file(velm, root + "velm.exe");
  std::ofstream(root + "velm.ini") << "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\n";
  std::ofstream(root + "velmsystem/account.ini") << "\"demo\",\"owner\",\"secret\"\r\n";
  const std::string photo = Photo(4000, 3000);
  std::ofstream(root + "images/demo/_jpegmod.jpg", std::ios::binary) << photo;
  printf("working picture: 4000 x 3000, %zu bytes\n", photo.size());

  const std::string effects =
      "&rotate=right&cchange=sepia&light=10&contrast=25&rtone=5&gtone=-5&btone=10&csharp=25&mosaic=3&median=1&gammar=1.5";
  const struct { const char* Name; std::string Fields; } cases[] = {
      {"every effect, resized to 3600x2700", "done=change&trimming=0+0+4000+3000&rwidth=3600&rheight=2700" + effects},
      {"every effect, trimmed to 3000x2000", "done=change&trimming=500+500+3500+2500&rwidth=3600&rheight=2700" + effects},
      {"every effect, size kept", "done=change&trimming=0+0+4000+3000&rwidth=4000&rheight=3000" + effects},
      {"nothing but encode", "done=change"},
  };
  // Wall time counts what other processes on the machine take from this one; CPU time does not.
  printf("%-40s %10s %10s %10s %12s\n", "change", "median ms", "max ms", "cpu ms", "maxrss MiB");
  bool within = true;
  for (const auto& c : cases) {
    Change(root, c.Fields);  // warm the page cache
    std::vector<double> t, cpu;
    long rss = 0;
    for (int i = 0; i < runs; ++i) {
      const TSample s = Change(root, c.Fields);
      if (!WIFEXITED(s.Status) || WEXITSTATUS(s.Status) != 0) {
        fprintf(stderr, "velm.exe failed: status %d\n", s.Status);
        return 1;
      }
      t.push_back(s.Ms);
      cpu.push_back(s.CpuMs);
      rss = std::max(rss, s.MaxRssKiB);
    }
    const double median = Median(t), worst = *std::max_element(t.begin(), t.end());
    printf("%-40s %10.1f %10.1f %10.1f %12.1f\n", c.Name, median, worst, Median(cpu), rss / 1024.0);
    fflush(stdout);
    if (c.Fields.find("median=1") != std::string::npos) within = within && median < 1500 && rss < 256 * 1024;
  }
  if (!fs::exists(root + "images/demo/__jpegmod.jpg")) {
    fprintf(stderr, "no result was written\n");
    return 1;
  }
  fs::remove_all(root);
  printf("every-effect changes under 1.5 s and 256 MiB: %s\n", within ? "yes" : "NO");
  return within ? 0 : 2;
}
