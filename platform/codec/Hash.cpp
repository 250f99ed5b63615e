#include "platform/codec/Hash.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace codec {
namespace {

std::string Hex(const std::uint8_t* p, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    s += kDigits[p[i] >> 4];
    s += kDigits[p[i] & 0x0F];
  }
  return s;
}

// zlib's crc32 takes its length as a uInt.
constexpr std::size_t kMostCrcChunk = 1u << 30;

}  // namespace

std::string Digests::Crc32Hex() const {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(crc32 >> 24), static_cast<std::uint8_t>(crc32 >> 16),
                             static_cast<std::uint8_t>(crc32 >> 8), static_cast<std::uint8_t>(crc32)};
  return Hex(b, 4);
}
std::string Digests::Md5Hex() const { return Hex(md5.data(), md5.size()); }
std::string Digests::Sha1Hex() const { return Hex(sha1.data(), sha1.size()); }

struct Hasher::State {
  uLong crc = 0;
  EVP_MD_CTX* md5 = nullptr;
  EVP_MD_CTX* sha1 = nullptr;
  void Start() {
    crc = ::crc32(0L, Z_NULL, 0);
    if (EVP_DigestInit_ex(md5, EVP_md5(), nullptr) != 1 || EVP_DigestInit_ex(sha1, EVP_sha1(), nullptr) != 1)
      throw std::runtime_error("libcrypto cannot start MD5 or SHA-1");
  }
};

Hasher::Hasher() : m_state(std::make_unique<State>()) {
  m_state->md5 = EVP_MD_CTX_new();
  m_state->sha1 = EVP_MD_CTX_new();
  if (!m_state->md5 || !m_state->sha1) {
    EVP_MD_CTX_free(m_state->md5);
    EVP_MD_CTX_free(m_state->sha1);
    throw std::bad_alloc();
  }
  m_state->Start();
}

Hasher::~Hasher() {
  EVP_MD_CTX_free(m_state->md5);
  EVP_MD_CTX_free(m_state->sha1);
}

void Hasher::Update(const void* data, std::size_t size) {
  const auto* p = static_cast<const Bytef*>(data);
  for (std::size_t done = 0; done < size;) {
    const std::size_t n = std::min(size - done, kMostCrcChunk);
    m_state->crc = ::crc32(m_state->crc, p + done, static_cast<uInt>(n));
    done += n;
  }
  EVP_DigestUpdate(m_state->md5, data, size);
  EVP_DigestUpdate(m_state->sha1, data, size);
}

Digests Hasher::Finish() {
  Digests d;
  d.crc32 = static_cast<std::uint32_t>(m_state->crc);
  unsigned n = 0;
  EVP_DigestFinal_ex(m_state->md5, d.md5.data(), &n);
  EVP_DigestFinal_ex(m_state->sha1, d.sha1.data(), &n);
  m_state->Start();
  return d;
}

}  // namespace codec
