// Temporary installations and runs of the real velm.exe for whole-request tests.
#include "cgi_harness.h"

#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::string TCGIResult::header(const std::string& name) const {
  const auto all = headerAll(name);
  return all.empty() ? "" : all[0];
}

std::vector<std::string> TCGIResult::headerAll(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& [n, v] : headers)
    if (strcasecmp(n.c_str(), name.c_str()) == 0) out.push_back(v);
  return out;
}

namespace {

TCGIResult ParseCGIOutput(const std::string& raw) {
  TCGIResult res;
  res.raw = res.body = raw;
  if (!raw.starts_with("Status: ")) return res;
  const size_t end = std::min(raw.find("\r\n\r\n"), raw.size());  // an unclosed block ends the output
  res.body = raw.substr(std::min(end + 4, raw.size()));
  size_t pos = std::min(raw.find("\r\n"), end);
  res.status = raw.substr(8, pos - 8);
  while (pos < end) {
    const size_t next = std::min(raw.find("\r\n", pos + 2), end);
    const std::string line = raw.substr(pos + 2, next - pos - 2);
    const size_t colon = std::min(line.find(':'), line.size());
    std::string value = colon < line.size() ? line.substr(colon + 1) : "";
    if (value.starts_with(' ')) value.erase(0, 1);
    if (line != "Content:") res.headers.emplace_back(line.substr(0, colon), value);
    pos = next;
  }
  return res;
}

}  // namespace

TTestInstall::TTestInstall() {
  char tmpl[] = "/tmp/velm-test-XXXXXX";
  if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  FRoot = std::string(tmpl) + "/";
  if (::link(VELM_EXE, (FRoot + "velm.exe").c_str()) != 0) fs::copy_file(VELM_EXE, FRoot + "velm.exe");
  Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\n");
  Write("velmsystem/account.ini", "\"demo\",\"owner\",\"secret\"\r\n");
  for (const char* d : {"velmsystem/owner", "images/demo", "template"}) fs::create_directories(FRoot + d);
}

TTestInstall::~TTestInstall() {
  std::error_code ec;
  fs::remove_all(FRoot, ec);
}

void TTestInstall::Write(const std::string& rel, const std::string& bytes) const {
  fs::create_directories(fs::path(FRoot + rel).parent_path());
  std::ofstream f(FRoot + rel, std::ios::binary | std::ios::trunc);
  if (!f.write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
    throw std::runtime_error("cannot write " + rel);
}

std::string TTestInstall::Read(const std::string& rel) const {
  std::ostringstream s;
  s << std::ifstream(FRoot + rel, std::ios::binary).rdbuf();
  return s.str();
}

bool TTestInstall::Exists(const std::string& rel) const { return fs::exists(FRoot + rel); }
void TTestInstall::Remove(const std::string& rel) const { fs::remove_all(FRoot + rel); }

TCGIResult TTestInstall::Run(const TCGIRun& r) const {
  const char* path = std::getenv("PATH");
  std::vector<std::string> strings = {FRoot + "velm.exe"};
  if (r.measureMemory) strings.insert(strings.begin(), VELM_PEAK_RSS);
  strings.insert(strings.end(), r.args.begin(), r.args.end());
  const size_t argc = strings.size();
  const int peak = r.measureMemory ? ::memfd_create("peak", MFD_CLOEXEC) : -1;
  const long long length = r.contentLength == -2 ? static_cast<long long>(r.body.size()) : r.contentLength;
  const std::pair<const char*, std::string> vars[] = {
      {"PATH", path && *path ? path : "/usr/bin:/bin"}, {"TZ", "Asia/Tokyo"}, {"GATEWAY_INTERFACE", "CGI/1.1"},
      {"SERVER_NAME", "127.0.0.1"}, {"SERVER_PORT", "80"}, {"SCRIPT_NAME", "/velm.exe"}, {"HTTP_HOST", "127.0.0.1"},
      {"REQUEST_METHOD", r.method}, {"SERVER_PROTOCOL", r.protocol ? "HTTP/1.1" : ""},
      {"CONTENT_LENGTH", length == -1 ? "" : std::to_string(length)},
      {"CONTENT_TYPE", r.contentType.empty() && !r.body.empty() ? "application/x-www-form-urlencoded" : r.contentType},
      {"HTTP_COOKIE", r.cookie}, {"REMOTE_ADDR", r.remoteAddr}, {"HTTP_USER_AGENT", r.userAgent},
      {"HTTP_REFERER", r.referer}, {"HTTP_ORIGIN", r.origin}};
  for (const auto& [name, value] : vars)
    if (!value.empty()) strings.push_back(name + ("=" + value));
  for (const auto& [name, value] : r.env) strings.push_back(name + "=" + value);
  for (const char* pass : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char* v = std::getenv(pass)) strings.push_back(pass + ("=" + std::string(v)));
  strings.push_back("QUERY_STRING=" + r.query);  // set even when empty
  std::vector<char*> argv, envp;
  for (size_t i = 0; i < strings.size(); ++i) (i < argc ? argv : envp).push_back(strings[i].data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  // Body and output go through in-memory files: the body ends where the input ends.
  const int in = ::memfd_create("body", MFD_CLOEXEC), out = ::memfd_create("out", MFD_CLOEXEC);
  if (in < 0 || out < 0 || ::pwrite(in, r.body.data(), r.body.size(), 0) != static_cast<ssize_t>(r.body.size()))
    throw std::runtime_error("memfd failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(in, 0);
    ::dup2(out, 1);
    if (peak >= 0) ::dup2(peak, 3);
    if (::chdir(FRoot.c_str()) == 0) ::execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  pollfd done = {pidfd, POLLIN, 0};
  const bool killed = pidfd >= 0 && ::poll(&done, 1, 20000) == 0 && ::kill(pid, SIGKILL) == 0;
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::string captured(static_cast<size_t>(::lseek(out, 0, SEEK_END)), '\0');
  const bool ok = ::pread(out, captured.data(), captured.size(), 0) == static_cast<ssize_t>(captured.size());
  for (int fd : {in, out, pidfd}) ::close(fd);
  if (!ok) throw std::runtime_error("cannot read the output");
  TCGIResult res = ParseCGIOutput(captured);
  if (peak >= 0) {
    char text[32] = {};
    if (::pread(peak, text, sizeof text - 1, 0) > 0) res.maxRssKb = std::atol(text);
    ::close(peak);
  }
  res.exitCode = killed ? 128 + SIGKILL : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return res;
}

// The tests compare dates with velm.exe, which runs in Japan time: so do they.
[[maybe_unused]] static const int kJapanTime = (setenv("TZ", "Asia/Tokyo", 1), tzset(), 0);
