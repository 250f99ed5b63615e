// Where the volume's own structures lie, for whoever must name what a
// damaged sector belonged to. Everything is read again from the medium so
// that the analysis itself keeps no more than it needs; what cannot be read
// is simply not listed.
#include <algorithm>

#include "fs/Sessions.h"
#include "udf/Analy_UDF.h"

using namespace udf;

namespace {

// A sequence's extent as recorded, held to what a sequence can hold.
std::uint64_t SequenceBytes(std::uint32_t length, std::uint32_t blockSize) {
  return std::min<std::uint64_t>(length, std::uint64_t(fs::kMostSequenceDescriptors) * blockSize);
}

}  // namespace

// The anchor and the Logical Volume Descriptor of the first anchor and
// sequence (main, then reserve) that read.
bool CAnaly_UDF::ReadLogicalVolume(AnchorPointer& anchor, LogicalVolumeDescriptor& lvd) {
  std::vector<unsigned char> buf(m_nBlockSize);
  for (std::uint32_t at : m_Anchors) {
    if (ReadSector(at, buf.data()) != 0 || TagIdentifier(buf.data()) != kTagAnchor) continue;
    anchor = AnchorPointer::Parse(std::span(buf.data(), m_nBlockSize));
    for (const auto& [start, length] : {std::pair{anchor.mainLocation, anchor.mainLength},
                                        std::pair{anchor.reserveLocation, anchor.reserveLength}}) {
      const std::uint64_t blocks = SequenceBytes(length, m_nBlockSize) / m_nBlockSize;
      for (std::uint64_t i = 0; i < blocks; ++i) {
        if (ReadSector(static_cast<std::uint32_t>(start + i), buf.data()) != 0) continue;
        if (TagIdentifier(buf.data()) == kTagTerminating) break;
        if (TagIdentifier(buf.data()) != kTagLogicalVolume) continue;
        lvd = LogicalVolumeDescriptor::Parse(std::span(buf.data(), m_nBlockSize));
        return true;
      }
    }
    return true;  // the sequences are known even when neither gives the logical volume
  }
  return false;
}

// The entry of a metadata file (a block of the partition under the metadata
// partition) and every recorded extent it lists.
void CAnaly_UDF::AddMetadataExtents(const PartitionMap& map, std::vector<UdfStructureExtent>& out) {
  const std::pair<std::uint32_t, const char*> files[] = {
      {map.metadataFile, "metadata file"}, {map.metadataMirror, "metadata mirror file"},
      {map.metadataBitmap, "metadata bitmap file"}};
  for (const auto& [block, what] : files) {
    if (block == 0xFFFFFFFFu) continue;  // no bitmap recorded
    std::uint32_t at = block;
    if (m_bMetadataOnVat && VatLookup(block, at) != 0) continue;
    if (!ExtentFits(at, m_nBlockSize)) continue;
    const std::uint32_t feSector = m_nPartStart + at;
    out.push_back({what, feSector, m_nBlockSize});
    std::vector<std::uint8_t> fe(m_nBlockSize);
    if (ReadSector(feSector, fe.data()) != 0) continue;
    const FileEntry e = FileEntry::Parse(fe);
    std::vector<AllocDesc> ads;
    if (e.clipped || e.adType > 2 ||
        CollectDescriptors(fe, e, feSector, m_bMetadataOnVat ? m_nVirtualRef : -1, ads) != ExtentStatus::Ok)
      continue;
    for (const AllocDesc& a : ads) {
      std::uint32_t first = a.block;
      if (a.extentType != kExtentRecorded || (m_bMetadataOnVat && VatLookup(a.block, first) != 0)) continue;
      if (ExtentFits(first, a.length)) out.push_back({what, m_nPartStart + first, a.length});
    }
  }
}

// The VAT's entry and the extents of its table.
void CAnaly_UDF::AddVatExtents(std::vector<UdfStructureExtent>& out) {
  if (m_nVatSector == 0) return;
  out.push_back({"VAT", m_nVatSector, m_nBlockSize});
  std::vector<std::uint8_t> fe(m_nBlockSize);
  UdfFileData data;
  if (ReadSector(m_nVatSector, fe.data()) != 0 || CollectExtents(fe, m_nVatSector, -1, data) != ExtentStatus::Ok)
    return;
  for (const UdfExtent& x : data.extents)
    if (x.recorded) out.push_back({"VAT", x.sector, x.length});
}

std::vector<UdfStructureExtent> CAnaly_UDF::StructureExtents() {
  std::vector<UdfStructureExtent> out;
  if (!m_pDevice) return out;
  for (std::uint32_t at : m_Anchors) out.push_back({"anchor volume descriptor pointer", at, m_nBlockSize});
  AnchorPointer anchor;
  LogicalVolumeDescriptor lvd;
  if (!ReadLogicalVolume(anchor, lvd)) return out;
  out.push_back({"volume descriptor sequence", anchor.mainLocation, SequenceBytes(anchor.mainLength, m_nBlockSize)});
  out.push_back({"reserve volume descriptor sequence", anchor.reserveLocation,
                 SequenceBytes(anchor.reserveLength, m_nBlockSize)});
  if (lvd.integrityLocation)
    out.push_back({"logical volume integrity sequence", lvd.integrityLocation,
                   SequenceBytes(lvd.integrityLength, m_nBlockSize)});
  for (const PartitionMap& map : lvd.maps) {
    if (map.kind == MapKind::Sparable)
      for (std::uint32_t table : map.sparingTables)
        out.push_back({"sparing table", table, std::max<std::uint64_t>(map.sparingTableSize, 1)});
    if (map.kind == MapKind::Metadata) AddMetadataExtents(map, out);
  }
  std::uint32_t fsd = 0;
  if (m_nPartStart != 0 && Translate(lvd.fileSet.block, lvd.fileSet.partitionRef, fsd) && ExtentFits(fsd, m_nBlockSize))
    out.push_back({"file set descriptor", RemapSector(m_nPartStart + fsd), m_nBlockSize});
  AddVatExtents(out);
  return out;
}
