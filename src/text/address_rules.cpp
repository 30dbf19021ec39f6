// Address and host rules: PASS or refuse by IP, IPS, IPR, HOST and HOSTC.
#include "text/address_rules.h"

#include "text/DString.h"

namespace {

// Four parts of a dotted address; a part that is not a number 0-255 is -1.
bool Parts(const std::string& a, int out[4]) {
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t dot = a.find('.', pos);
    std::string p = a.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    long long v;
    out[i] = (StrToIntStrict(p, v) && v >= 0 && v <= 255 && p[0] != '+' && p[0] != '-') ? static_cast<int>(v) : -1;
    if (dot == std::string::npos) {
      for (int k = i + 1; k < 4; ++k) out[k] = -1;
      return i == 3;
    }
    pos = dot + 1;
  }
  return a.find('.', pos) == std::string::npos;
}

bool Match(const std::string& pattern, size_t p, const std::string& name, size_t n) {
  while (p < pattern.size()) {
    if (pattern[p] == '*') {
      for (size_t k = n; k <= name.size(); ++k)
        if (Match(pattern, p + 1, name, k)) return true;
      return false;
    }
    if (n >= name.size() || (pattern[p] != '?' && pattern[p] != name[n])) return false;
    ++p;
    ++n;
  }
  return n == name.size();
}

unsigned long long Number(const int p[4]) {
  return (static_cast<unsigned long long>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// Splits an upper-cased rule at commas and blanks; double quotes protect them.
TStringList Fields(const std::string& line) {
  TStringList out;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') { quoted = !quoted; any = true; continue; }
    if (!quoted && (c == ',' || c == ' ' || c == '\t')) {
      if (any) out.push_back(cur);
      cur.clear();
      any = false;
      continue;
    }
    cur += c;
    any = true;
  }
  if (any) out.push_back(cur);
  return out;
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  return Match(UpperCase(pattern), 0, UpperCase(name), 0);
}

TRuleVerdict CheckAddressRules(const std::vector<std::string>& rules, const std::string& address,
                               const std::string& host) {
  int v[4];
  const bool addressOk = Parts(address, v) && v[0] >= 0 && v[1] >= 0 && v[2] >= 0 && v[3] >= 0;
  const std::string uhost = UpperCase(host);
  TRuleVerdict result = rvNone;
  for (const auto& raw : rules) {
    if (!raw.empty() && raw[0] == '#') continue;
    const TStringList f = Fields(UpperCase(raw));
    if (f.size() < 3) continue;
    const TRuleVerdict verdict = f[0] == "PASS" ? rvPass : rvRefuse;
    const std::string& kind = f[1];
    bool match = false;
    if (kind == "IP" && addressOk) {
      match = true;
      size_t pos = 0;
      for (int i = 0; i < 4 && match; ++i) {
        const size_t dot = f[2].find('.', pos);
        const std::string part = f[2].substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        long long n;
        if (part != "*" && !(StrToIntStrict(part, n) && n >= 0 && n <= 255 && n == v[i])) match = false;
        if (dot == std::string::npos && i < 3) match = false;
        pos = dot == std::string::npos ? f[2].size() : dot + 1;
      }
    } else if ((kind == "IPS" || kind == "IPR") && addressOk && f.size() >= 4) {
      int a[4], b[4];
      if (Parts(f[2], a) && Parts(f[3], b) && a[0] >= 0 && a[1] >= 0 && a[2] >= 0 && a[3] >= 0 && b[0] >= 0 &&
          b[1] >= 0 && b[2] >= 0 && b[3] >= 0) {
        if (kind == "IPS") {
          match = true;
          for (int i = 0; i < 4; ++i)
            if ((a[i] & b[i]) != (v[i] & b[i])) match = false;
        } else {
          const auto x = Number(v);
          match = Number(a) <= x && x <= Number(b);
        }
      }
    } else if (kind == "HOST" && !uhost.empty()) {
      const std::string& p = f[2];
      if (p.find_first_of("*?") != std::string::npos) match = WildcardMatch(p, uhost);
      else if (p[0] == '[') match = p.substr(1, p.find(']') == std::string::npos ? std::string::npos : p.find(']') - 1) == uhost;
      else match = uhost.find(p) != std::string::npos;
    } else if (kind == "HOSTC" && !uhost.empty()) {
      const size_t dot = uhost.rfind('.');
      match = dot != std::string::npos && uhost.substr(dot) == f[2];
    }
    if (!match) continue;
    if (kind == "IPR") {
      result = verdict;  // a later rule of another kind may still decide
      continue;
    }
    return verdict;
  }
  return result;
}
