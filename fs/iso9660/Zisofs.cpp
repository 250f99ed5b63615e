#include "fs/iso9660/Zisofs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "disc/ByteOrder.h"
#include "platform/codec/Codec.h"

namespace fs::iso9660 {

namespace {

// Header: 0 magic (8), 8 uncompressed size (LE 4), 12 header size / 4, 13 log2 block size, 14 reserved (2).
constexpr std::array<std::uint8_t, 8> kMagic{0x37, 0xE4, 0x53, 0x96, 0xC9, 0xDB, 0xD6, 0x07};

}  // namespace

const char* ZisofsOpenText(ZisofsOpen o) {
  switch (o) {
    case ZisofsOpen::Ok: return "zisofs";
    case ZisofsOpen::NotZisofs: return "compressed in a form not read";
    case ZisofsOpen::Unreadable: return "zisofs header unreadable";
    case ZisofsOpen::BadHeaderSize: return "zisofs header size wrong";
    case ZisofsOpen::BadBlockSize: return "zisofs block size wrong";
    case ZisofsOpen::TableExceedsFile: return "zisofs block table past the file";
  }
  return "zisofs damage";
}

const char* ZisofsBlockFaultText(ZisofsBlockFault f) {
  switch (f) {
    case ZisofsBlockFault::Unreadable: return "compressed block unreadable";
    case ZisofsBlockFault::PointersPastFile: return "compressed block past the file";
    case ZisofsBlockFault::PointersBackwards: return "compressed block pointers wrong";
    case ZisofsBlockFault::InflateFailed: return "compressed block damaged";
    case ZisofsBlockFault::ShortBlock: return "compressed block short";
  }
  return "compressed block damaged";
}

ZisofsFile::ZisofsFile(StoredBytesReader read, std::uint64_t storedSize)
    : read_(std::move(read)), storedSize_(storedSize) {}

ZisofsOpen ZisofsFile::Open(const std::optional<ZisofsParams>& zf) {
  size_ = 0;
  pointers_.clear();
  blockIndex_.reset();
  reported_.clear();
  bad_.clear();
  std::array<std::uint8_t, kZisofsHeaderBytes> h{};
  if (storedSize_ < h.size()) return ZisofsOpen::NotZisofs;
  if (!read_(0, h)) return ZisofsOpen::Unreadable;
  if (!std::equal(kMagic.begin(), kMagic.end(), h.begin())) return ZisofsOpen::NotZisofs;
  const std::uint64_t size = GetLE32(h.data() + 8);
  const std::uint64_t headerBytes = std::uint64_t(h[12]) * 4;
  const unsigned log2 = h[13];
  if (headerBytes < kZisofsHeaderBytes || headerBytes > storedSize_) return ZisofsOpen::BadHeaderSize;
  if (log2 < kZisofsMinBlockLog2 || log2 > kZisofsMaxBlockLog2) return ZisofsOpen::BadBlockSize;
  // The table holds one pointer more than there are blocks; it must fit in
  // the stored file, which bounds what a hostile size can make us allocate.
  const std::uint64_t blocks = (size + (1ull << log2) - 1) >> log2;
  const std::uint64_t tableBytes = (blocks + 1) * 4;
  if (tableBytes > storedSize_ - headerBytes) return ZisofsOpen::TableExceedsFile;
  std::vector<std::uint8_t> table(tableBytes);
  if (!read_(headerBytes, table)) return ZisofsOpen::Unreadable;
  pointers_.resize(blocks + 1);
  for (std::uint64_t i = 0; i <= blocks; ++i) pointers_[i] = GetLE32(table.data() + i * 4);
  if (zf) sizeDisagrees_ = zf->uncompressedSize != size || zf->blockSizeLog2 != log2;
  blockLog2_ = log2;
  size_ = size;
  return ZisofsOpen::Ok;
}

void ZisofsFile::MarkBad(std::uint64_t index, std::uint64_t from, ZisofsBlockFault f) {
  const std::uint64_t start = index << blockLog2_;
  const std::uint64_t end = std::min<std::uint64_t>(size_, start + BlockSize());
  std::fill(block_.begin() + static_cast<std::ptrdiff_t>(from), block_.end(), 0);
  if (!reported_.insert(index).second) return;
  bad_.push_back({start + from, end - start - from, f});
}

// Decodes block index into block_; false when it was served as zeros.
bool ZisofsFile::DecodeBlock(std::uint64_t index) {
  const std::uint64_t start = index << blockLog2_;
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(BlockSize(), size_ - start));
  block_.assign(want, 0);
  blockIndex_ = index;
  const std::uint32_t from = pointers_[index], to = pointers_[index + 1];
  if (from == to) return true;  // a block of zeros is stored as no bytes at all
  if (to > storedSize_) {
    MarkBad(index, 0, ZisofsBlockFault::PointersPastFile);
    return false;
  }
  if (to < from || to - from > kZisofsMaxStoredBlock) {
    MarkBad(index, 0, ZisofsBlockFault::PointersBackwards);
    return false;
  }
  std::vector<std::uint8_t> stored(to - from);
  if (!read_(from, stored)) {
    MarkBad(index, 0, ZisofsBlockFault::Unreadable);
    return false;
  }
  const codec::Decoded d = codec::Inflate(stored, block_, codec::DeflateWrapper::Zlib);
  if (d.outcome != codec::Outcome::Complete) {
    MarkBad(index, 0, ZisofsBlockFault::InflateFailed);
    return false;
  }
  if (d.written < want) {
    MarkBad(index, d.written, ZisofsBlockFault::ShortBlock);
    return false;
  }
  return true;
}

std::size_t ZisofsFile::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset >= size_) return 0;
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - offset));
  std::size_t done = 0;
  while (done < n) {
    const std::uint64_t at = offset + done;
    const std::uint64_t index = at >> blockLog2_;
    if (blockIndex_ != index) DecodeBlock(index);
    const std::size_t inBlock = static_cast<std::size_t>(at - (index << blockLog2_));
    const std::size_t take = std::min(n - done, block_.size() - inBlock);
    std::memcpy(out.data() + done, block_.data() + inBlock, take);
    done += take;
  }
  return n;
}

}  // namespace fs::iso9660
