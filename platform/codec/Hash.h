#pragma once
// The checksums disc databases list for a track or an image: CRC-32 (zlib's),
// MD5 and SHA-1 (OpenSSL's libcrypto), computed together in one pass.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace codec {

struct Digests {
  std::uint32_t crc32 = 0;
  std::array<std::uint8_t, 16> md5{};
  std::array<std::uint8_t, 20> sha1{};
  // Lower-case hexadecimal, as the databases print them.
  std::string Crc32Hex() const;
  std::string Md5Hex() const;
  std::string Sha1Hex() const;
};

class Hasher {
 public:
  Hasher();
  ~Hasher();
  Hasher(const Hasher&) = delete;
  Hasher& operator=(const Hasher&) = delete;
  void Update(const void* data, std::size_t size);
  // The digests of everything given so far; the hasher then starts afresh.
  Digests Finish();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace codec
