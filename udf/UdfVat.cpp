// The virtual allocation table of an incrementally written disc: found near the
// end of the recorded area, copied to a temporary file of 32-bit entries, and
// looked up there one virtual block at a time.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/MmcRecords.h"
#include "fs/Recognise.h"
#include "platform/orvane/DeviceSource.h"
#include "udf/Analy_UDF.h"

using namespace udf;

namespace {

constexpr int kNwaTracks = 10;       // tracks asked for a next writable address
constexpr int kMostTracks = 99;      // tracks a session's extent may run through
constexpr std::uint32_t kVatSearch = 17;  // blocks before that address searched for the VAT
constexpr int kNameAttempts = 64;    // fresh names tried before giving up

}  // namespace

void CAnaly_UDF::RemoveVatFile() {
  if (m_szVatFile[0]) std::remove(m_szVatFile);
  m_szVatFile[0] = 0;
}

// The file is created exclusively, so two analysers (or two programs) never
// share a table, and a name somebody else planted is never written through.
int CAnaly_UDF::MakeVatFileName() {
  RemoveVatFile();
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec || dir.empty()) return 1;
  std::string base = dir.string();
  if (base.back() != '/') base += '/';
  base += "VATtmp";
  std::random_device rd;
  std::mt19937 gen(rd());
  std::uniform_int_distribution<int> number(0, 2147483647);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = base + std::to_string(number(gen)) + ".dat";
    if (name.size() >= sizeof m_szVatFile) return 1;
    errno = 0;
    std::FILE* f = std::fopen(name.c_str(), "wbx");
    if (f) {
      std::fclose(f);
      std::memcpy(m_szVatFile, name.c_str(), name.size() + 1);
      return 0;
    }
    if (errno != EEXIST) return 1;
  }
  return 1;
}

// A session on write-once media is the track holding its volume's start and
// the tracks after it that start no volume of their own: a multi-session disc
// written in packets shares one partition, whose newest table ends its last
// track, while a volume appended with its own descriptors has a table of its
// own. Its end is the open track's writable address, else its recorded end.
bool CAnaly_UDF::SessionTrackEnd(std::uint32_t& end) {
  TRACK_INFO info{};
  if (m_pDevice->ReadTrackInfo(info, READ_TRACK_INFO_LBA, static_cast<int>(m_nVolumeStart)) != 0) return false;
  orvane::DeviceSectorSource source(*m_pDevice);
  for (int t = mmc::TrackInfoFields(info).TrackNumber() + 1; t <= kMostTracks; ++t) {
    TRACK_INFO next{};
    if (m_pDevice->ReadTrackInfo(next, READ_TRACK_INFO_TRACK, t) != 0) break;
    const std::uint32_t start = mmc::TrackInfoFields(next).Start();
    if (start <= m_nVolumeStart || fs::ReadRecognitionSequence(source, start).nsr) break;
    info = next;
  }
  const mmc::TrackInfoFields track(info);
  const std::uint64_t e = track.NwaValid() && track.Nwa() > 0 ? track.Nwa() : track.End();
  if (e == 0 || e > 0xFFFFFFFFu) return false;
  end = static_cast<std::uint32_t>(e);
  return true;
}

bool CAnaly_UDF::NextWritableAddress(std::uint32_t partStart, std::uint32_t& nwa) {
  if (SessionTrackEnd(nwa)) return true;
  // A drive that places no address in a track: the first open track, else
  // the end of the track that holds the partition.
  for (int t = 1; t <= kNwaTracks; ++t) {
    TRACK_INFO info{};
    if (m_pDevice->ReadTrackInfo(info, READ_TRACK_INFO_TRACK, t) != 0) continue;
    const mmc::TrackInfoFields track(info);
    if (!track.NwaValid()) continue;
    const std::uint32_t n = track.Nwa();
    if (n > 0) {
      nwa = n;
      return true;
    }
  }
  for (int t = 1; t <= kNwaTracks; ++t) {
    TRACK_INFO info{};
    if (m_pDevice->ReadTrackInfo(info, READ_TRACK_INFO_TRACK, t) != 0) continue;
    const std::uint64_t start = mmc::TrackInfoFields(info).Start();
    const std::uint64_t size = mmc::TrackInfoFields(info).Size();
    if (size > 0 && start <= partStart && partStart < start + size && start + size <= 0xFFFFFFFFu) {
      nwa = static_cast<std::uint32_t>(start + size);
      return true;
    }
  }
  return false;
}

// The newest VAT is the last sector written: searching down from the
// address finds it before any older one, on media with link blocks after a
// packet (CD-R) as on media without (DVD-R).
bool CAnaly_UDF::FindVatEntry(std::uint32_t& feSector, std::vector<unsigned char>& fe) {
  std::uint32_t nwa = 0;
  // The drive answers in sectors; the partition starts at a block.
  const std::uint64_t partSector = std::uint64_t(m_nPartStart) * m_nBlockSize / kSectorSize;
  if (!NextWritableAddress(static_cast<std::uint32_t>(std::min<std::uint64_t>(partSector, 0xFFFFFFFFu)), nwa))
    return false;
  nwa = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t(nwa) * kSectorSize / m_nBlockSize, 0xFFFFFFFFu));
  fe.assign(m_nBlockSize, 0);
  for (std::uint32_t i = 1; i <= kVatSearch && i <= nwa; ++i) {
    std::uint32_t s = nwa - i;
    if (ReadSector(s, fe.data()) != 0) continue;
    std::uint16_t tag = TagIdentifier(fe.data());
    if (tag != kTagFileEntry && tag != kTagExtendedFileEntry) continue;
    if (fe[27] != kFileTypeUnspecified && fe[27] != kFileTypeVat20) continue;
    feSector = s;
    return true;
  }
  return false;
}

int CAnaly_UDF::CopyVat(const std::vector<UdfExtent>& extents, const std::vector<std::uint8_t>* inlineData,
                        std::uint64_t length, bool header20, std::FILE* out) {
  if (length > kMaxVatBytes) return 1;
  unsigned char buf[kMaxBlockSize];
  const std::uint32_t bs = m_nBlockSize;
  std::uint64_t begin = 0, end = 0;
  if (header20) {
    unsigned char head[4];
    std::memset(head, 0, sizeof head);
    if (inlineData) {
      std::memcpy(head, inlineData->data(), std::min<std::size_t>(4, inlineData->size()));
    } else {
      if (extents.empty()) return 0;
      if (extents[0].recorded) {
        if (ReadRawSector(extents[0].sector, buf) != 0) return 1;
        std::memcpy(head, buf, 4);
      }
    }
    begin = Vat20Header::Parse(head).EntriesOffset();
    end = length;
  } else {
    end = length >= kVat15Tail ? length - kVat15Tail : 0;
  }
  if (end <= begin) return 0;

  if (inlineData) {
    std::uint64_t stop = std::min<std::uint64_t>(end, inlineData->size());
    if (stop > begin && std::fwrite(inlineData->data() + begin, 1, stop - begin, out) != stop - begin) return 1;
    return 0;
  }
  // The extents are joined in order; the header or tail applies once to the
  // whole table.
  for (const UdfExtent& x : extents) {
    std::uint64_t xEnd = x.fileOffset + x.length;
    if (xEnd <= begin) continue;
    if (x.fileOffset >= end) break;
    std::uint64_t first = std::max(begin, x.fileOffset);
    std::uint64_t last = std::min(end, xEnd);
    for (std::uint64_t pos = first; pos < last;) {
      std::uint64_t rel = pos - x.fileOffset;
      std::uint64_t k = rel / bs;
      std::size_t within = static_cast<std::size_t>(rel % bs);
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(bs - within, last - pos));
      if (x.recorded) {
        if (ReadRawSector(x.sector + static_cast<std::uint32_t>(k), buf) != 0) return 1;
      } else {
        std::memset(buf, 0, sizeof buf);
      }
      if (std::fwrite(buf + within, 1, n, out) != n) return 1;
      pos += n;
    }
  }
  return 0;
}

int CAnaly_UDF::LoadVat(std::uint32_t partStart) {
  if (MakeVatFileName() != 0) return 1;
  if (!m_pDevice) return 1;
  m_nPartStart = partStart;
  std::uint32_t feSector = 0;
  std::vector<unsigned char> fe;
  m_nVatSector = 0;
  if (!FindVatEntry(feSector, fe)) return 1;
  m_nVatSector = feSector;

  FileEntry e = FileEntry::Parse(fe);
  // The entry's own file type says which layout the table has.
  bool header20 = fe[27] == kFileTypeVat20;
  if (e.adType > 3) return 0;  // nothing to copy; lookups then fail

  UdfFileData data;
  if (CollectExtents(fe, feSector, -1, data) != ExtentStatus::Ok) return 0;
  std::uint64_t length;
  if (data.embedded) {
    length = data.inlineData.size();
  } else {
    std::uint64_t recorded = data.extents.empty() ? 0 : data.extents.back().fileOffset + data.extents.back().length;
    length = data.size && data.size <= recorded ? data.size : recorded;
  }
  std::FILE* f = std::fopen(m_szVatFile, "wb");
  if (!f) return 1;
  CopyVat(data.extents, data.embedded ? &data.inlineData : nullptr, length, header20, f);
  std::fclose(f);
  return 0;
}

void CAnaly_UDF::SaveVatExtent(std::uint32_t sector, std::uint32_t length, const char* path) {
  if (!path || !m_pDevice) return;
  unsigned char buf[kMaxBlockSize];
  if (ReadRawSector(sector, buf) != 0) return;
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return;
  std::vector<UdfExtent> one{UdfExtent{0, length, sector, true}};
  CopyVat(one, nullptr, length, m_nUdfRevision != 0, f);
  std::fclose(f);
}

int CAnaly_UDF::VatLookup(std::uint32_t v, std::uint32_t& out) {
  std::vector<std::uint32_t> one;
  if (VatLookupRange(v, 1, one) != 0) return 1;
  out = one[0];
  return 0;
}

int CAnaly_UDF::VatLookupRange(std::uint32_t first, std::uint32_t count, std::vector<std::uint32_t>& out) {
  if (!m_szVatFile[0] || count == 0) return 1;
  std::FILE* f = std::fopen(m_szVatFile, "rb");
  if (!f) return 1;
  std::uint64_t at = std::uint64_t(first) * 4;
  std::vector<unsigned char> raw(std::size_t(count) * 4);
  bool ok = std::fseek(f, static_cast<long>(at), SEEK_SET) == 0 && std::ftell(f) == static_cast<long>(at) &&
            std::fread(raw.data(), 1, raw.size(), f) == raw.size();
  std::fclose(f);
  if (!ok) return 1;
  out.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) out[i] = GetLE32(&raw[4 * i]);
  return 0;
}
