#pragma once
// A drive in memory for UDF tests: answers TEST UNIT READY, READ(10) and READ
// TRACK INFORMATION from a built image, with the sense a drive gives for a
// sector past the end or one it cannot read, and counts what was asked.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "disc/Transport.h"
#include "tests/support/UdfBuilder.h"

namespace testsupport {

class UdfTestTransport : public Transport {
 public:
  explicit UdfTestTransport(const UdfImage& image);
  UdfTestTransport(std::vector<std::uint8_t> bytes, std::set<std::uint32_t> unreadable,
                   std::optional<std::uint32_t> nextWritable, std::uint32_t trackSize);

  ScsiResult Execute(ScsiCommand& cmd) override;
  std::string Describe() const override { return "udf test drive"; }

  struct Track {
    std::uint32_t start = 0, size = 0;
    std::optional<std::uint32_t> nextWritable;
  };
  std::vector<std::uint8_t> bytes;
  // When set, sectors below sectorCount come from here instead of bytes, so
  // a large image need not be held whole.
  std::function<void(std::uint32_t lba, std::uint8_t* out2048)> readSector;
  std::uint32_t sectorCount = 0;
  std::set<std::uint32_t> unreadable;
  std::vector<Track> tracks;  // track 1 first; one track over the whole image by default
  bool ready = true;
  std::uint64_t sectorReads = 0;        // sectors asked by READ(10)
  std::set<std::uint32_t> sectorsRead;  // which ones

 private:
  static ScsiResult Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);
};

}  // namespace testsupport
