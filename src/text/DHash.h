// Digests through libcrypto.
#pragma once
#include <string>

std::string Sha1Hex(const std::string& bytes);     // 40 lower-case hex digits
std::string Md5Hex(const std::string& bytes);      // 32 lower-case hex digits
std::string HmacMd5Hex(const std::string& key, const std::string& bytes);
