// The JPEG editor's change with every effect on a 4000 x 3000 picture: whole requests of
// velm.exe (read, decode, edit, encode, write, the editor page), wall time and peak memory.
//   bench_jpeg_bench [--quick]
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

// The owner's change of the working picture (JD) with the form fields.
TCGICost Change(const std::string& root, const std::string& fields) {
  return RunCGI({.Exe = root + "velm.exe", .Dir = root, .Query = "demo+jd", .BodyFile = BodyFile(root, fields),
                 .Env = {"HTTP_HOST=127.0.0.1", kOwnerCookie}, .ShowErrors = true});
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
  const int runs = QuickRun(argc, argv) ? 3 : 7;
  const std::string root = MakeInstallation(BenchFolder(argv[0], {"velm.exe"}) + "velm.exe", "jpeg");
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
    const std::vector<TCGICost> v = Repeat(runs, [&](int) { return Change(root, c.Fields); });
    const TCGICost m = Medians(v);
    if (m.Status != 0) {
      fprintf(stderr, "velm.exe failed: status %d\n", m.Status);
      return 1;
    }
    const double median = m.Wall;
    const double worst = std::max_element(v.begin(), v.end(), [](auto& a, auto& b) { return a.Wall < b.Wall; })->Wall;
    printf("%-40s %10.1f %10.1f %10.1f %12.1f\n", c.Name, median, worst, m.Cpu, m.MaxRssKiB / 1024.0);
    fflush(stdout);
    if (c.Fields.find("median=1") != std::string::npos) within = within && median < 1500 && m.MaxRssKiB < 256 * 1024;
  }
  if (!fs::exists(root + "images/demo/__jpegmod.jpg")) {
    fprintf(stderr, "no result was written\n");
    return 1;
  }
  fs::remove_all(root);
  printf("every-effect changes under 1.5 s and 256 MiB: %s\n", within ? "yes" : "NO");
  return within ? 0 : 2;
}
