// Temporary installations and runs of the real velm.exe for whole-request tests.
#include "cgi_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifndef VELM_EXE
#error "VELM_EXE must name the built velm.exe"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kRunTimeoutMs = 20000;

bool SameNameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + path);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void InstallExecutable(const std::string& target) {
  if (::link(VELM_EXE, target.c_str()) != 0) {
    std::error_code ec;
    fs::copy_file(VELM_EXE, target, fs::copy_options::overwrite_existing, ec);
    if (ec) throw std::runtime_error("cannot install " + std::string(VELM_EXE) + ": " + ec.message());
  }
  ::chmod(target.c_str(), 0755);
}

void SetVar(std::vector<std::pair<std::string, std::string>>& vars, const std::string& name,
            const std::string& value) {
  for (auto& v : vars)
    if (v.first == name) {
      v.second = value;
      return;
    }
  vars.emplace_back(name, value);
}

long long NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

std::string TCGIResult::header(const std::string& name) const {
  for (const auto& h : headers)
    if (SameNameNoCase(h.first, name)) return h.second;
  return "";
}

std::vector<std::string> TCGIResult::headerAll(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& h : headers)
    if (SameNameNoCase(h.first, name)) out.push_back(h.second);
  return out;
}

TCGIResult ParseCGIOutput(const std::string& raw) {
  TCGIResult res;
  res.raw = raw;
  if (raw.compare(0, 8, "Status: ") != 0) {
    res.body = raw;
    return res;
  }
  res.hasHeaderBlock = true;
  size_t pos = 0;
  bool first = true;
  while (pos < raw.size()) {
    size_t eol = raw.find("\r\n", pos);
    if (eol == std::string::npos) {  // header block never closed: the rest is a last line
      eol = raw.size();
    }
    std::string line = raw.substr(pos, eol - pos);
    pos = eol + 2 <= raw.size() ? eol + 2 : raw.size();
    if (line.empty()) break;
    if (first) {
      res.status = line.substr(8);
      first = false;
      continue;
    }
    if (line == "Content:") continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos) {
      res.headers.emplace_back(line, "");
      continue;
    }
    size_t v = colon + 1;
    if (v < line.size() && line[v] == ' ') ++v;
    res.headers.emplace_back(line.substr(0, colon), line.substr(v));
  }
  res.body = raw.substr(pos);
  return res;
}

TTestInstall::TTestInstall() {
  char tmpl[] = "/tmp/velm-test-XXXXXX";
  if (!::mkdtemp(tmpl)) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
  FRoot = std::string(tmpl) + "/";
  InstallExecutable(FRoot + "velm.exe");
  Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\n");
  Write("velmsystem/account.ini", "\"demo\",\"owner\",\"secret\"\r\n");
  fs::create_directories(FRoot + "velmsystem/owner");
  fs::create_directories(FRoot + "images/demo");
  fs::create_directories(FRoot + "template");
}

TTestInstall::~TTestInstall() {
  if (std::getenv("VELM_KEEP_INSTALL")) return;  // left for inspection
  std::error_code ec;
  fs::remove_all(FRoot, ec);
}

std::string TTestInstall::Root() const { return FRoot; }
std::string TTestInstall::AccountFolder() const { return FRoot + "velmsystem/owner/"; }

void TTestInstall::Write(const std::string& rel, const std::string& bytes) const {
  WriteFileBytes(FRoot + rel, bytes);
}

std::string TTestInstall::Read(const std::string& rel) const {
  std::ifstream f(FRoot + rel, std::ios::binary);
  if (!f) return "";
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool TTestInstall::Exists(const std::string& rel) const {
  std::error_code ec;
  return fs::exists(FRoot + rel, ec);
}

void TTestInstall::Remove(const std::string& rel) const {
  std::error_code ec;
  fs::remove_all(FRoot + rel, ec);
}

TCGIResult TTestInstall::Run(const TCGIRun& r) const {
  // The CGI variables a web server sets, then the caller's extras (which replace by name).
  std::vector<std::pair<std::string, std::string>> vars;
  const char* path = std::getenv("PATH");
  SetVar(vars, "PATH", path && *path ? path : "/usr/local/bin:/usr/bin:/bin");
  SetVar(vars, "TZ", "Asia/Tokyo");
  for (const char* pass : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char* v = std::getenv(pass)) SetVar(vars, pass, v);
  SetVar(vars, "GATEWAY_INTERFACE", "CGI/1.1");
  SetVar(vars, "SERVER_NAME", "127.0.0.1");
  SetVar(vars, "SERVER_PORT", "80");
  SetVar(vars, "SCRIPT_NAME", "/velm.exe");
  SetVar(vars, "HTTP_HOST", "127.0.0.1");
  SetVar(vars, "REQUEST_METHOD", r.method);
  SetVar(vars, "QUERY_STRING", r.query);
  if (r.protocol) SetVar(vars, "SERVER_PROTOCOL", "HTTP/1.1");
  long long length = r.contentLength == -2 ? static_cast<long long>(r.body.size()) : r.contentLength;
  if (length != -1) SetVar(vars, "CONTENT_LENGTH", std::to_string(length));
  std::string type = r.contentType;
  if (type.empty() && !r.body.empty()) type = "application/x-www-form-urlencoded";
  if (!type.empty()) SetVar(vars, "CONTENT_TYPE", type);
  if (!r.cookie.empty()) SetVar(vars, "HTTP_COOKIE", r.cookie);
  if (!r.remoteAddr.empty()) SetVar(vars, "REMOTE_ADDR", r.remoteAddr);
  if (!r.userAgent.empty()) SetVar(vars, "HTTP_USER_AGENT", r.userAgent);
  if (!r.referer.empty()) SetVar(vars, "HTTP_REFERER", r.referer);
  for (const auto& e : r.env) SetVar(vars, e.first, e.second);

  std::vector<std::string> envStrings, argStrings;
  for (const auto& v : vars) envStrings.push_back(v.first + "=" + v.second);
  const std::string exe = FRoot + "velm.exe";
  argStrings.push_back(exe);
  for (const auto& a : r.args) argStrings.push_back(a);
  std::vector<char*> envp, argv;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  for (auto& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC))
    throw std::runtime_error("pipe failed");
  ::signal(SIGPIPE, SIG_IGN);  // the program may exit before reading the whole body

  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    if (::chdir(FRoot.c_str()) != 0) _exit(126);
    ::execve(exe.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  int inFd = in[1], outFd = out[0], errFd = err[0];
  ::fcntl(inFd, F_SETFL, O_NONBLOCK);
  if (r.body.empty()) {
    ::close(inFd);
    inFd = -1;
  }

  std::string captured, errText;
  size_t written = 0;
  bool killed = false;
  const long long deadline = NowMs() + kRunTimeoutMs;
  char buf[65536];
  while (outFd >= 0 || errFd >= 0) {
    pollfd fds[3];
    int n = 0, iIn = -1, iOut = -1, iErr = -1;
    if (inFd >= 0) { fds[n] = {inFd, POLLOUT, 0}; iIn = n++; }
    if (outFd >= 0) { fds[n] = {outFd, POLLIN, 0}; iOut = n++; }
    if (errFd >= 0) { fds[n] = {errFd, POLLIN, 0}; iErr = n++; }
    long long left = deadline - NowMs();
    if (left <= 0) {
      ::kill(pid, SIGKILL);
      killed = true;
      break;
    }
    int rc = ::poll(fds, n, static_cast<int>(left));
    if (rc < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (iIn >= 0 && fds[iIn].revents) {
      if (fds[iIn].revents & (POLLERR | POLLHUP)) {
        ::close(inFd);
        inFd = -1;
      } else {
        ssize_t w = ::write(inFd, r.body.data() + written, r.body.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if ((w < 0 && errno != EAGAIN && errno != EINTR) || written == r.body.size()) {
          ::close(inFd);
          inFd = -1;
        }
      }
    }
    for (int* fd : {&outFd, &errFd}) {
      int idx = fd == &outFd ? iOut : iErr;
      if (idx < 0 || !fds[idx].revents) continue;
      ssize_t got = ::read(*fd, buf, sizeof buf);
      if (got > 0) {
        (fd == &outFd ? captured : errText).append(buf, static_cast<size_t>(got));
      } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        ::close(*fd);
        *fd = -1;
      }
    }
  }
  for (int fd : {inFd, outFd, errFd})
    if (fd >= 0) ::close(fd);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  TCGIResult res = ParseCGIOutput(captured);
  res.err = errText;
  if (killed)
    res.exitCode = 128 + SIGKILL;
  else if (WIFEXITED(status))
    res.exitCode = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    res.exitCode = 128 + WTERMSIG(status);
  return res;
}

namespace {
// The tests compare dates with velm.exe, which runs in Japan time: so do they.
const bool kJapanTime = [] {
  setenv("TZ", "Asia/Tokyo", 1);
  tzset();
  return true;
}();
}  // namespace
