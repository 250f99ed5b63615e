// fs/udf's parsers on arbitrary bytes, and the recogniser's anchor search on
// an arbitrary volume: every descriptor parser (tag with checksum and CRC,
// anchor, partition, logical volume with its maps, file set, integrity, file
// and extended file entry, allocation descriptors of every type, file
// identifiers, sparing table, VAT header, link path components), the
// metadata map built from the descriptors and looked up, and logical blocks
// of 512 to 4096 bytes read from 2048-byte sectors.
//
// Input: a selector byte (its low two bits pick the block size), then the
// volume's sectors in the sparse form; the parsers also see those bytes as
// they stand.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fs/Recognise.h"
#include "fs/udf/Damage.h"
#include "fs/udf/Descriptors.h"
#include "fs/udf/BlockReader.h"
#include "fs/udf/Partitions.h"
#include "fuzz/SparseImage.h"

namespace {

struct SparseSource : fs::SectorSource {
  const fuzzsupport::SparseSectors& image;
  explicit SparseSource(const fuzzsupport::SparseSectors& i) : image(i) {}
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    return image.Read(lba, count, out) ? fs::SectorRead::Ok : fs::SectorRead::Failed;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override {
    if (image.Sectors() == 0) return std::nullopt;
    return image.Sectors() - 1;
  }
};

void Parsers(std::span<const std::uint8_t> b, std::uint32_t blockSize) {
  using namespace udf;
  (void)CheckTag(b, kTagFileEntry, 0);
  (void)AnchorPointer::Parse(b);
  (void)PartitionDescriptor::Parse(b);
  const LogicalVolumeDescriptor lvd = LogicalVolumeDescriptor::Parse(b);
  for (const PartitionMap& m : lvd.maps) (void)lvd.MapOfPartition(m.partitionNumber), (void)MapKindText(m.kind);
  (void)FileSetDescriptor::Parse(b);
  (void)IntegrityWriteRevision(b);
  const FileEntry e = FileEntry::Parse(b);
  (void)e.Mode(), (void)e.modificationTime.ToUnix();
  std::vector<AllocDesc> ads;
  for (std::uint8_t t = 0; t < 4; ++t) {
    AllocDesc next;
    bool hasNext = false;
    ParseAllocDescs(b.subspan(e.adOffset, e.adBytes), t, ads, &next, &hasNext);
  }
  MetadataMap map;
  if (map.Assign(ads, blockSize) == MetadataMap::Build::Ok)
    for (std::uint32_t probe : {0u, 1u, 100u, 0xFFFFFFFFu}) (void)map.Lookup(probe), (void)map.RunFrom(probe);
  FidIterator it(b);
  FileIdentifier fid;
  for (int i = 0; i < 4096; ++i) {
    const FidStatus s = it.Next(fid);
    (void)FidStatusText(s);
    if (s != FidStatus::Ok) break;
    if (fid.nameOffset + fid.lFi > b.size()) __builtin_trap();
  }
  std::vector<SparingEntry> sparing;
  ParseSparingTable(b, sparing);
  SparingMap spared;
  spared.Reset(static_cast<std::uint16_t>(blockSize / 64), sparing);
  for (std::uint32_t probe : {0u, 31u, 0xFFFFFFF0u}) (void)spared.Moved(probe), (void)spared.RunFrom(probe, 1000);
  (void)Vat20Header::Parse(b).EntriesOffset();
  std::string target;
  ParseLinkTarget(b, target);
  (void)DecodeIdentifier(b.first(std::min<std::size_t>(b.size(), 255)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static constexpr std::uint32_t kSizes[] = {512, 1024, 2048, 4096};
  const std::uint32_t blockSize = kSizes[data[0] & 3];
  const std::span<const std::uint8_t> bytes(data + 1, size - 1);
  Parsers(bytes, blockSize);

  const fuzzsupport::SparseSectors image(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), 2048);
  SparseSource source(image);
  const fs::Recognition r = fs::Recognise(source, 0);
  if (r.udf && (r.anchors.empty() || !udf::IsBlockSize(r.blockSize))) __builtin_trap();
  udf::BlockReader reader(source, blockSize);
  std::vector<std::uint8_t> block(blockSize);
  const std::uint64_t first = r.anchor ? *r.anchor : 0;
  for (std::uint64_t b = 0; b < 64 && reader.Read(first + b, block.data()); ++b) Parsers(block, blockSize);
  return 0;
}
