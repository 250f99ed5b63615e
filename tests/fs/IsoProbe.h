#pragma once
// What the Rock Ridge, zisofs and El Torito tests share: an image held in
// memory as a sector source (with sectors that can be made unreadable), a
// plain walk of an ISO 9660 directory that hands each record's bytes on, and
// running the image makers in a scratch folder.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "disc/ByteOrder.h"
#include "fs/SectorSource.h"
#include "tests/support/CdImages.h"
#include "tests/support/CdInfo.h"

namespace isoprobe {

using testsupport::Bytes;

struct MemorySource : fs::SectorSource {
  Bytes bytes;
  std::set<std::uint32_t> unreadable;
  int reads = 0;
  explicit MemorySource(Bytes b) : bytes(std::move(b)) { bytes.resize((bytes.size() + 2047) / 2048 * 2048); }
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    ++reads;
    const std::uint64_t end = (std::uint64_t(lba) + count) * fs::kSectorBytes;
    if (end > bytes.size()) return fs::SectorRead::Failed;
    for (std::uint32_t i = 0; i < count; ++i)
      if (unreadable.count(lba + i)) return fs::SectorRead::Failed;
    std::memcpy(out, bytes.data() + std::size_t(lba) * fs::kSectorBytes, std::size_t(count) * fs::kSectorBytes);
    return fs::SectorRead::Ok;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override {
    return static_cast<std::uint32_t>(bytes.size() / fs::kSectorBytes - 1);
  }
  std::uint8_t* Sector(std::uint32_t lba) { return bytes.data() + std::size_t(lba) * fs::kSectorBytes; }
};

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// One directory record: its bytes, where its data lies and whether it is a folder.
struct Record {
  Bytes bytes;
  std::uint32_t extent = 0, size = 0;
  bool folder = false;
  std::string isoName;
  std::span<const std::uint8_t> Span() const { return bytes; }
};

inline Record RecordAt(const std::uint8_t* r) {
  // 0 length, 2 extent (LE), 10 size (LE), 25 flags (bit 1 folder), 32 name length, 33 name.
  Record rec;
  rec.bytes.assign(r, r + r[0]);
  rec.extent = GetLE32(r + 2);
  rec.size = GetLE32(r + 10);
  rec.folder = r[25] & 2;
  rec.isoName.assign(reinterpret_cast<const char*>(r + 33), r[32]);
  return rec;
}

// The primary descriptor's root record (sector 16, offset 156).
inline Record Root(MemorySource& src) { return RecordAt(src.Sector(16) + 156); }

// Every record of a directory, "." and ".." included, in order.
inline std::vector<Record> Records(MemorySource& src, const Record& dir) {
  std::vector<Record> out;
  for (std::uint32_t off = 0; off < dir.size; off += 2048) {
    const std::uint8_t* s = src.Sector(dir.extent + off / 2048);
    for (std::uint32_t at = 0; at < 2048 && s[at] >= 34 && at + s[at] <= 2048; at += s[at]) out.push_back(RecordAt(s + at));
  }
  return out;
}

inline std::string Q(const std::string& s) { return testsupport::ShellQuote(s); }

inline int Run(const std::string& cmd, const testsupport::ScratchDir& dir) {
  return testsupport::RunProgram(cmd, dir).status;
}

}  // namespace isoprobe
