// Directories read whole and walked.
#include <algorithm>
#include <array>
#include <cstring>

#include "disc/DevCmdROM.h"
#include "udf/Analy_UDF.h"

using namespace udf;

namespace {

using Block = std::array<unsigned char, kMaxBlockSize>;

DirResult Damaged(DirStatus status) {
  DirResult r;
  r.status = status;
  return r;
}

}  // namespace

// A file's whole data (all extents, unrecorded ones as zeros) of at most
// `most` bytes.
DirResult CAnaly_UDF::ReadFileData(std::uint32_t S, std::uint64_t most, std::vector<std::uint8_t>& data) {
  data.clear();
  UdfFileData f;
  if (ExtentStatus s = ReadFileExtents(S, f); s != ExtentStatus::Ok) {
    DirResult r = Damaged(DirStatus::EntryDamaged);
    r.extent = s;
    return r;
  }
  if (f.embedded) {
    std::size_t n = f.size ? std::min<std::uint64_t>(f.size, f.inlineData.size()) : f.inlineData.size();
    data.assign(f.inlineData.begin(), f.inlineData.begin() + n);
    return {};
  }
  if (f.size > most) return Damaged(DirStatus::TooLarge);
  data.assign(static_cast<std::size_t>(f.size), 0);
  const std::uint32_t bs = m_nBlockSize;
  Block buf;
  for (const UdfExtent& x : f.extents) {
    if (!x.recorded) continue;  // reads as zeros
    for (std::uint64_t off = 0; off < x.length && x.fileOffset + off < data.size(); off += bs) {
      if (ReadRawSector(x.sector + static_cast<std::uint32_t>(off / bs), buf.data()) != 0)
        return Damaged(DirStatus::DataUnreadable);
      std::size_t at = static_cast<std::size_t>(x.fileOffset + off);
      std::size_t n = std::min<std::size_t>({bs, data.size() - at, static_cast<std::size_t>(x.length - off)});
      std::memcpy(data.data() + at, buf.data(), n);
    }
  }
  return {};
}

int CAnaly_UDF::ReadDirectoryData(std::uint32_t S, std::vector<std::uint8_t>& data) {
  return ReadFileData(S, kMaxDirectoryBytes, data).Ok() ? 0 : 1;
}

DirResult CAnaly_UDF::ListDirectory(std::uint32_t S, std::vector<UdfDirEntry>& entries) {
  entries.clear();
  std::vector<std::uint8_t> data;
  DirResult r = ReadFileData(S, kMaxDirectoryBytes, data);
  if (!r.Ok()) return r;
  FidIterator it(data);
  FileIdentifier fid;
  for (;;) {
    const FidStatus status = it.Next(fid);
    if (status == FidStatus::End) return r;
    if (status != FidStatus::Ok) {
      // What was read before the damage stays listed; the caller reports it.
      r.status = DirStatus::IdentifierDamaged;
      r.fid = status;
      return r;
    }
    if (fid.lFi == 0) continue;  // the parent entry
    UdfDirEntry d;
    char name[256] = {};
    DecodeName(data[fid.nameOffset], name, sizeof name, data.data() + fid.nameOffset + 1, fid.lFi - 1);
    d.name = name;
    d.characteristics = fid.characteristics;
    d.isDirectory = (fid.characteristics & kFidDirectory) != 0;
    std::uint32_t sector;
    if (!BlockToSector(fid.icb.block, fid.icb.partitionRef, EntryRef(), sector)) return Damaged(DirStatus::LookupFailed);
    d.feSector = sector;
    d.block = sector - m_nPartStart;
    entries.push_back(std::move(d));
  }
}

int CAnaly_UDF::ReadDirectory(std::uint32_t S, std::vector<UdfDirEntry>& entries) {
  return ListDirectory(S, entries).Ok() ? 0 : 1;
}

bool CAnaly_UDF::ReadEntryBlock(std::uint32_t feSector, std::vector<std::uint8_t>& block) {
  block.assign(m_nBlockSize, 0);
  return ReadSector(feSector, block.data()) == 0;
}
