// Address and host rule lists (PASS/refuse by IP, IPS, IPR, HOST, HOSTC).
#pragma once
#include <string>
#include <vector>

enum TRuleVerdict { rvNone, rvPass, rvRefuse };

TRuleVerdict CheckAddressRules(const std::vector<std::string>& rules, const std::string& address,
                               const std::string& host);
bool WildcardMatch(const std::string& pattern, const std::string& name); // upper-cased, * and ?
