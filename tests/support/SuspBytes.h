#pragma once
// System Use entries as bytes, for tests and seed corpora that build Rock
// Ridge fields by hand.
#include <cstdint>

#include "tests/support/CdImages.h"

namespace testsupport {

// "sig", length, version, then body.
Bytes SuspEntry(const char* sig, const Bytes& body, std::uint8_t version = 1);
// An ISO 9660 both-endian 32-bit field (little-endian then big-endian copy).
Bytes BothEndian32(std::uint32_t v);

}  // namespace testsupport
