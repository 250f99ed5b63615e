#pragma once
// zisofs: a file whose stored bytes are a 16-byte header, a table of block
// pointers and one zlib stream per block of 2^15, 2^16 or 2^17 uncompressed
// bytes. ZisofsFile serves the uncompressed bytes by range, so a copy streams
// them. A block that cannot be had (stored bytes unreadable, pointers running
// backwards or past the stored file, a stream that does not inflate to the
// block's size) is served as zeros and listed, as an unreadable sector is;
// the output is never shorter than the size the header declares.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "fs/iso9660/RockRidge.h"

namespace fs::iso9660 {

constexpr std::uint32_t kZisofsHeaderBytes = 16;
constexpr unsigned kZisofsMinBlockLog2 = 15;
constexpr unsigned kZisofsMaxBlockLog2 = 17;
// A block's zlib stream longer than this is damage, not data (deflate never
// grows a block by more than a few bytes per 16 KiB).
constexpr std::uint32_t kZisofsMaxStoredBlock = (1u << kZisofsMaxBlockLog2) + 4096;

// Reads stored bytes [offset, offset + out.size()) of the compressed file;
// false when any of them could not be read.
using StoredBytesReader = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> out)>;

enum class ZisofsOpen {
  Ok,
  NotZisofs,          // the magic number is missing (zisofs2 and others included)
  Unreadable,         // the header or the pointer table could not be read
  BadHeaderSize,      // header size below 16 bytes or past the stored file
  BadBlockSize,       // block size outside 2^15..2^17
  TableExceedsFile,   // the pointer table the size implies runs past the stored file
};

const char* ZisofsOpenText(ZisofsOpen o);

enum class ZisofsBlockFault {
  Unreadable,        // the block's stored bytes could not be read
  PointersPastFile,  // its pointers run past the stored file
  PointersBackwards, // its end pointer lies before its start, or it is too long to be a block
  InflateFailed,     // the stream is damaged or does not end
  ShortBlock,        // the stream ended before the block's size (the rest is zeros)
};

const char* ZisofsBlockFaultText(ZisofsBlockFault f);

// Uncompressed bytes served as zeros, and why.
struct ZisofsBadRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  ZisofsBlockFault fault = ZisofsBlockFault::InflateFailed;
};

class ZisofsFile {
 public:
  // storedSize: the file's recorded data length (its compressed bytes).
  ZisofsFile(StoredBytesReader read, std::uint64_t storedSize);

  // Reads the header and the pointer table. zf, when given, is the record's
  // ZF entry: a block size or size that disagrees with the header is noted
  // (SizeDisagrees), the header's values are used.
  ZisofsOpen Open(const std::optional<ZisofsParams>& zf = std::nullopt);

  std::uint64_t Size() const { return size_; }  // uncompressed bytes (0 until opened)
  std::uint32_t BlockSize() const { return 1u << blockLog2_; }
  bool SizeDisagrees() const { return sizeDisagrees_; }

  // Fills out with uncompressed bytes from offset; bytes past Size() are not
  // touched. Returns how many were filled (min(out.size(), Size() - offset)).
  std::size_t Read(std::uint64_t offset, std::span<std::uint8_t> out);

  // Every range served as zeros so far, each block listed once, in the order met.
  const std::vector<ZisofsBadRange>& BadRanges() const { return bad_; }

 private:
  bool DecodeBlock(std::uint64_t index);
  void MarkBad(std::uint64_t index, std::uint64_t from, ZisofsBlockFault f);

  StoredBytesReader read_;
  std::uint64_t storedSize_ = 0;
  std::uint64_t size_ = 0;
  unsigned blockLog2_ = kZisofsMinBlockLog2;
  bool sizeDisagrees_ = false;
  std::vector<std::uint32_t> pointers_;  // blocks + 1 entries
  std::vector<std::uint8_t> block_;      // the block last decoded
  std::optional<std::uint64_t> blockIndex_;
  std::set<std::uint64_t> reported_;     // blocks already listed in bad_
  std::vector<ZisofsBadRange> bad_;
};

}  // namespace fs::iso9660
