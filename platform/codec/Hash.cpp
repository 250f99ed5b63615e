#include "platform/codec/Hash.h"

#include <dlfcn.h>
#include <openssl/evp.h>
#include <openssl/opensslv.h>
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

// libcrypto is loaded when the first hasher is made, not at start-up: mapping
// and relocating it costs every run of the tools milliseconds, and most runs
// hash nothing.
struct Crypto {
  decltype(&EVP_MD_CTX_new) ctxNew = nullptr;
  decltype(&EVP_MD_CTX_free) ctxFree = nullptr;
  decltype(&EVP_md5) md5 = nullptr;
  decltype(&EVP_sha1) sha1 = nullptr;
  decltype(&EVP_DigestInit_ex) init = nullptr;
  decltype(&EVP_DigestUpdate) update = nullptr;
  decltype(&EVP_DigestFinal_ex) final = nullptr;
};

template <typename F>
bool Bind(void* lib, const char* name, F& f) {
  f = reinterpret_cast<F>(::dlsym(lib, name));
  return f != nullptr;
}

const Crypto& LoadCrypto() {
  static const Crypto crypto = [] {
    const std::string soname = "libcrypto.so." + std::to_string(OPENSSL_VERSION_MAJOR);
    void* lib = ::dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
    Crypto c;
    if (!lib || !Bind(lib, "EVP_MD_CTX_new", c.ctxNew) || !Bind(lib, "EVP_MD_CTX_free", c.ctxFree) ||
        !Bind(lib, "EVP_md5", c.md5) || !Bind(lib, "EVP_sha1", c.sha1) || !Bind(lib, "EVP_DigestInit_ex", c.init) ||
        !Bind(lib, "EVP_DigestUpdate", c.update) || !Bind(lib, "EVP_DigestFinal_ex", c.final))
      c.ctxNew = nullptr;  // the library stays loaded: it is never unloaded once in use
    return c;
  }();
  if (!crypto.ctxNew) throw std::runtime_error("libcrypto cannot be loaded for MD5 and SHA-1");
  return crypto;
}

}  // namespace

std::string Digests::Crc32Hex() const {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(crc32 >> 24), static_cast<std::uint8_t>(crc32 >> 16),
                             static_cast<std::uint8_t>(crc32 >> 8), static_cast<std::uint8_t>(crc32)};
  return Hex(b, 4);
}
std::string Digests::Md5Hex() const { return Hex(md5.data(), md5.size()); }
std::string Digests::Sha1Hex() const { return Hex(sha1.data(), sha1.size()); }

struct Hasher::State {
  const Crypto& lib = LoadCrypto();
  uLong crc = 0;
  EVP_MD_CTX* md5 = nullptr;
  EVP_MD_CTX* sha1 = nullptr;
  void Start() {
    crc = ::crc32(0L, Z_NULL, 0);
    if (lib.init(md5, lib.md5(), nullptr) != 1 || lib.init(sha1, lib.sha1(), nullptr) != 1)
      throw std::runtime_error("libcrypto cannot start MD5 or SHA-1");
  }
};

Hasher::Hasher() : m_state(std::make_unique<State>()) {
  m_state->md5 = m_state->lib.ctxNew();
  m_state->sha1 = m_state->lib.ctxNew();
  if (!m_state->md5 || !m_state->sha1) {
    m_state->lib.ctxFree(m_state->md5);
    m_state->lib.ctxFree(m_state->sha1);
    throw std::bad_alloc();
  }
  m_state->Start();
}

Hasher::~Hasher() {
  m_state->lib.ctxFree(m_state->md5);
  m_state->lib.ctxFree(m_state->sha1);
}

void Hasher::Update(const void* data, std::size_t size) {
  const auto* p = static_cast<const Bytef*>(data);
  for (std::size_t done = 0; done < size;) {
    const std::size_t n = std::min(size - done, kMostCrcChunk);
    m_state->crc = ::crc32(m_state->crc, p + done, static_cast<uInt>(n));
    done += n;
  }
  m_state->lib.update(m_state->md5, data, size);
  m_state->lib.update(m_state->sha1, data, size);
}

Digests Hasher::Finish() {
  Digests d;
  d.crc32 = static_cast<std::uint32_t>(m_state->crc);
  unsigned n = 0;
  m_state->lib.final(m_state->md5, d.md5.data(), &n);
  m_state->lib.final(m_state->sha1, d.sha1.data(), &n);
  m_state->Start();
  return d;
}

}  // namespace codec
