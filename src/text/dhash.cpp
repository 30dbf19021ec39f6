// Digests through libcrypto EVP.
#include "text/DHash.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace {
std::string Hex(const unsigned char* p, unsigned n) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}
std::string Digest(const EVP_MD* md, const std::string& bytes) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  EVP_Digest(bytes.data(), bytes.size(), out, &n, md, nullptr);
  return Hex(out, n);
}
}  // namespace

std::string Sha1Hex(const std::string& bytes) { return Digest(EVP_sha1(), bytes); }
std::string Md5Hex(const std::string& bytes) { return Digest(EVP_md5(), bytes); }

std::string HmacMd5Hex(const std::string& key, const std::string& bytes) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(bytes.data()),
       bytes.size(), out, &n);
  return Hex(out, n);
}
