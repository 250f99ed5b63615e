#include "tests/support/SuspBytes.h"

#include "disc/ByteOrder.h"

namespace testsupport {

Bytes SuspEntry(const char* sig, const Bytes& body, std::uint8_t version) {
  Bytes e{std::uint8_t(sig[0]), std::uint8_t(sig[1]), std::uint8_t(body.size() + 4), version};
  e.insert(e.end(), body.begin(), body.end());
  return e;
}

Bytes BothEndian32(std::uint32_t v) {
  Bytes b(8);
  PutLE32(b.data(), v);
  PutBE32(b.data() + 4, v);
  return b;
}

}  // namespace testsupport
