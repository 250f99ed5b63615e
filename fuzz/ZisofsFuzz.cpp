// A zisofs file's stored bytes: the header and pointer table opened, then a
// few ranges of the uncompressed data read (first, last and ones the input
// picks). Every read must fill what it was asked for, and every range served
// as zeros must lie inside the file.
//
// Input: a byte of unreadable-region flags, 4 range picks (16-bit LE each),
// then the stored file.
#include <cstdint>
#include <vector>

#include "fs/iso9660/Zisofs.h"

namespace {

constexpr std::size_t kRangeBytes = 200 * 1024;  // one range read

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  const std::uint8_t unreadable = data[0];
  const std::vector<std::uint8_t> stored(data + 9, data + size);
  // Bit n of the flags makes the n-th eighth of the stored file unreadable.
  auto read = [&](std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > stored.size() || out.size() > stored.size() - offset) return false;
    for (std::uint64_t at = offset; at < offset + out.size(); at += 1 + stored.size() / 16)
      if (unreadable & (1u << (at * 8 / (stored.size() + 1)))) return false;
    std::copy_n(stored.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
  };
  fs::iso9660::ZisofsFile z(read, stored.size());
  if (z.Open() != fs::iso9660::ZisofsOpen::Ok) return 0;
  const std::uint64_t total = z.Size();
  std::vector<std::uint64_t> starts{0, total > kRangeBytes ? total - kRangeBytes : 0};
  for (int i = 0; i < 4; ++i) {
    const std::uint64_t pick = data[1 + 2 * i] | (data[2 + 2 * i] << 8);
    starts.push_back(total ? pick * (total / 65536 + 1) % total : 0);
  }
  std::vector<std::uint8_t> out(kRangeBytes);
  for (const std::uint64_t at : starts) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), total - std::min(at, total)));
    if (z.Read(at, out) != want) __builtin_trap();
  }
  for (const auto& bad : z.BadRanges())
    if (bad.length == 0 || bad.offset + bad.length > total) __builtin_trap();
  return 0;
}
