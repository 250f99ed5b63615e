// The command layer: each operation is one MMC command block sent through the
// device's transport. Nothing here knows whether a drive or an image answers.
#include "disc/DevCmdROM.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "disc/ByteOrder.h"
#include "disc/MmcRecords.h"
#include "disc/SectorLayout.h"
#include "disc/TextCodec.h"
#include "fs/Recognise.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/DeviceSource.h"
#include "platform/orvane/Readers.h"
#include "platform/orvane/VirtualDrive.h"

namespace {

constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kStartStopUnit = 0x1B;
constexpr std::uint8_t kPreventAllow = 0x1E;
constexpr std::uint8_t kRead10 = 0x28;
constexpr std::uint8_t kReadCapacity = 0x25;
constexpr std::uint8_t kReadSubChannel = 0x42;
constexpr std::uint8_t kReadTocPmaAtip = 0x43;
constexpr std::uint8_t kGetConfiguration = 0x46;
constexpr std::uint8_t kReadDiscInformation = 0x51;
constexpr std::uint8_t kReadTrackInformation = 0x52;
constexpr std::uint8_t kModeSense10 = 0x5A;
constexpr std::uint8_t kReadCd = 0xBE;

// READ CD byte 9: which parts of each sector come back.
constexpr std::uint8_t kFieldUserData = 0x10;
constexpr std::uint8_t kFieldAll = 0xF8;  // sync, all headers, user data, EDC/ECC

constexpr int kUserBytes = static_cast<int>(disc::kUserDataSize);
constexpr int kRawBytes = static_cast<int>(disc::kRawSectorSize);
// READ SUB-CHANNEL byte 2 and the format of its byte 3.
constexpr std::uint8_t kSubQ = 0x40;
constexpr int kSubChannelCatalog = 0x02;
constexpr int kSubChannelIsrc = 0x03;
// READ CD byte 10: formatted Q, 16 bytes a sector.
constexpr std::uint8_t kSubChannelFormattedQ = 0x02;

void PutCdbLba(std::uint8_t* cdb, std::uint32_t lba) { PutBE32(cdb + 2, lba); }

ScsiCommand Command(std::initializer_list<std::uint8_t> head, int length, DataDirection dir, void* data,
                    std::size_t bytes, unsigned timeoutMs = 30000) {
  ScsiCommand c;
  std::copy(head.begin(), head.end(), c.cdb);
  c.cdbLength = length;
  c.direction = dir;
  c.data = static_cast<std::uint8_t*>(data);
  c.dataLength = bytes;
  c.timeoutMs = timeoutMs;
  return c;
}

}  // namespace

CDevCmdROM::CDevCmdROM(unsigned char deviceId, std::unique_ptr<Transport> transport, std::string nodePath)
    : m_nDeviceId(deviceId), m_pTransport(std::move(transport)), m_sNodePath(std::move(nodePath)) {}

CDevCmdROM::~CDevCmdROM() = default;

std::optional<PlainBytes> CDevCmdROM::PlainUserData(std::uint32_t lba, std::uint32_t count) {
  if (!m_pTransport || count == 0) return std::nullopt;
  return m_pTransport->PlainUserData(lba, count);
}

int CDevCmdROM::Send(ScsiCommand& cmd) {
  if (!m_pTransport) {
    m_sLastError = m_nDeviceId == 0 ? "no image file is open" : "the device cannot be reached";
    // NOT READY, MEDIUM NOT PRESENT: what a caller that only looks at the sense sees.
    m_Sense = SenseData_tag(0, 0, 0, 0x02, 0x3A, 0x00);
    m_Sense.value = 0xFF;
    return -1;
  }
  ScsiResult r = m_pTransport->Execute(cmd);
  m_Sense = SenseData_tag(0, 0, 0, 0, 0, 0);
  m_Sense.value = static_cast<std::uint32_t>(r.status);
  if (r.status == 0) {
    // Whole sectors asked (READ(10), or READ CD of complete raw sectors) and
    // only part of them came: the rest of the buffer is no data of the
    // medium, so the read failed, whatever the status said.
    // What was asked is the sectors the command names, not the buffer, which
    // may be larger.
    std::size_t asked = 0;
    if (cmd.cdb[0] == kRead10)
      asked = std::size_t{GetBE16(cmd.cdb + 7)} * disc::kUserDataSize;
    else if (cmd.cdb[0] == kReadCd && cmd.cdb[9] == kFieldAll && cmd.cdb[10] == 0)
      asked = (std::size_t{cmd.cdb[6]} << 16 | std::size_t{cmd.cdb[7]} << 8 | cmd.cdb[8]) * disc::kRawSectorSize;
    asked = std::min(asked, cmd.dataLength);
    if (asked && cmd.data && r.transferred > 0 && r.transferred < asked) {
      m_Sense = SenseData_tag(0, 0, 0, 0x03, 0x11, 0x00);
      m_sLastError = "the device returned " + std::to_string(r.transferred) + " of " + std::to_string(asked) + " bytes";
      return -1;
    }
    // Other short transfers leave the rest of the caller's buffer as it was.
    return 0;
  }
  if (r.status == 2 && r.senseLength >= 3) {
    const std::uint8_t* s = r.sense;
    const std::uint8_t code = s[0] & 0x7F;
    if (code == 0x72 || code == 0x73) {  // descriptor format
      m_Sense.key = s[1] & 0x0F;
      m_Sense.asc = r.senseLength > 2 ? s[2] : 0;
      m_Sense.ascq = r.senseLength > 3 ? s[3] : 0;
    } else {  // fixed format
      m_Sense.key = s[2] & 0x0F;
      m_Sense.asc = r.senseLength > 12 ? s[12] : 0;
      m_Sense.ascq = r.senseLength > 13 ? s[13] : 0;
    }
    m_sLastError.clear();
  } else if (!r.error.empty()) {
    m_sLastError = r.error;
  } else {
    m_sLastError = "command failed with status " + std::to_string(r.status);
  }
  return r.status == 0 ? 0 : (r.status > 0 ? r.status : -1);
}

bool CDevCmdROM::SetImageFile(const std::string& path) {
  orvane::DiscLayout layout;
  std::string error;
  if (!orvane::OpenImage(path, layout, error)) {
    m_sLastError = error.empty() ? "not a disc image this program reads" : error;
    return false;
  }
  m_pTransport = orvane::CreateVirtualDrive(std::move(layout), path);
  m_sNodePath = path;
  m_sLastError.clear();
  return true;
}

int CDevCmdROM::TestUnitReady() {
  auto c = Command({kTestUnitReady}, 6, DataDirection::None, nullptr, 0, 10000);
  return Send(c);
}

int CDevCmdROM::Inquiry(INQUIRYDATA& out) {
  auto c = Command({kInquiry, 0, 0, 0, sizeof out.data, 0}, 6, DataDirection::FromDevice, out.data, sizeof out.data);
  return Send(c);
}

int CDevCmdROM::ReadToc(unsigned char* buffer, int length, int format, int trackOrSession) {
  if (!buffer || length <= 0) return -1;
  const auto alloc = static_cast<std::uint32_t>(std::min(length, 0xFFFF));
  // Format 2 (full TOC) and format 5 (CD-TEXT) are always in MSF/raw form;
  // format 0 and 1 are asked in LBA form, which is what callers parse.
  const std::uint8_t msf = format == 2 ? 0x02 : 0x00;
  auto c = Command({kReadTocPmaAtip, msf, static_cast<std::uint8_t>(format & 0x0F), 0, 0, 0,
                    static_cast<std::uint8_t>(trackOrSession), 0, 0, 0},
                   10, DataDirection::FromDevice, buffer, alloc);
  PutBE16(c.cdb + 7, alloc);
  // ATAPI drives built before MMC (and QEMU's emulated drive) take formats 0
  // to 2 from the top two bits of the last byte; MMC drives read byte 2 and
  // leave those vendor bits alone, so both carry the format.
  if (format >= 0 && format <= 2) c.cdb[9] = static_cast<std::uint8_t>(format << 6);
  return Send(c);
}

int CDevCmdROM::ReadDiscInfo(DISC_INFO& out) {
  auto c = Command({kReadDiscInformation}, 10, DataDirection::FromDevice, out.data, sizeof out.data);
  PutBE16(c.cdb + 7, sizeof out.data);
  return Send(c);
}

namespace {

struct TocTrack {
  int number = 0, session = 1;
  std::uint8_t control = 0;
  std::int64_t start = 0, end = 0;  // end: the first sector after the track
};

// The tracks of the TOC with their ends: on CD media from the full TOC (each
// session's tracks end at the next track or at that session's lead-out), else
// from the track list of format 0 in LBA form (one session; MSF cannot hold
// the addresses of a large DVD). Empty when neither answers with a track.
std::vector<TocTrack> TocTracks(CDevCmdROM& dev, bool cd, bool& xa) {
  constexpr int kBytes = mmc::kTocHeaderSize + mmc::kFullTocDescriptorSize * 400;  // more than 99 tracks in 99 sessions need
  std::vector<unsigned char> buf(kBytes, 0);
  std::vector<TocTrack> tracks;
  std::map<int, std::int64_t> leadOut;
  xa = false;
  if (cd && dev.ReadToc(buf.data(), kBytes, 2, 0) == 0) {
    const std::size_t len = mmc::kTocHeaderSize + mmc::TocDescriptorBytes(buf.data(), buf.size());
    for (std::size_t at = mmc::kTocHeaderSize; at + mmc::kFullTocDescriptorSize <= len;
         at += mmc::kFullTocDescriptorSize) {
      const mmc::FullTocDescriptor d(&buf[at]);
      const mmc::TocEntry e = d.Entry();
      if (e.Adr() != 1) continue;  // only Q mode 1 entries carry positions
      const int point = e.Point();
      const std::int64_t lba = e.Start();
      if (point >= 1 && point <= mmc::kLastTrackPoint)
        tracks.push_back({point, d.Session(), static_cast<std::uint8_t>(e.Control()), lba, 0});
      if (point == mmc::kPointFirstTrack && e.DiscType() == mmc::kDiscTypeXa) xa = true;
      if (point == mmc::kPointLeadOut) leadOut[d.Session()] = lba;
    }
  }
  if (tracks.empty()) {
    leadOut.clear();
    std::fill(buf.begin(), buf.end(), 0);
    if (dev.ReadToc(buf.data(), kBytes, 0, 1) != 0) return {};
    const std::size_t len = mmc::kTocHeaderSize + mmc::TocDescriptorBytes(buf.data(), buf.size());
    for (std::size_t at = mmc::kTocHeaderSize; at + mmc::kTrackTocDescriptorSize <= len;
         at += mmc::kTrackTocDescriptorSize) {
      const mmc::TrackTocDescriptor d(&buf[at]);
      const std::int64_t lba = d.Lba();
      if (d.Track() >= 1 && d.Track() <= mmc::kLastTrackPoint)
        tracks.push_back({d.Track(), 1, static_cast<std::uint8_t>(d.Control()), lba, 0});
      if (d.Track() == mmc::kTrackTocLeadOut) leadOut[1] = lba;
    }
  }
  // A track starting in the lead-in is no readable track; one that runs
  // backwards, or whose session has no lead-out, has no size to tell.
  std::erase_if(tracks, [](const TocTrack& t) { return t.start < 0; });
  std::sort(tracks.begin(), tracks.end(), [](const TocTrack& a, const TocTrack& b) { return a.number < b.number; });
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    TocTrack& t = tracks[i];
    auto lo = leadOut.find(t.session);
    if (i + 1 < tracks.size() && tracks[i + 1].session == t.session) t.end = tracks[i + 1].start;
    else if (lo != leadOut.end()) t.end = lo->second;
    else t.end = -1;
  }
  std::erase_if(tracks, [](const TocTrack& t) { return t.end < t.start; });
  return tracks;
}

}  // namespace

int CDevCmdROM::ReadTrackInfo(TRACK_INFO& out, int addressType, int number) {
  auto c = Command({kReadTrackInformation, static_cast<std::uint8_t>(addressType & 0x03)}, 10,
                   DataDirection::FromDevice, out.data, sizeof out.data);
  PutBE32(c.cdb + 2, static_cast<std::uint32_t>(number));
  PutBE16(c.cdb + 7, sizeof out.data);
  const int r = Send(c);
  // Read-only drives need not know READ TRACK INFORMATION (QEMU's emulated
  // drive and many older CD-ROM drives answer INVALID COMMAND OPERATION CODE),
  // yet every drive reads the TOC, which tells a track's number, session,
  // start, size and kind.
  if (r == 0 || m_Sense.key != 0x05 || m_Sense.asc != 0x20) return r;
  const SenseData_tag refused = m_Sense;
  const std::string refusedError = m_sLastError;
  bool xa = false;
  const std::vector<TocTrack> tracks = TocTracks(*this, IsCdMedium(GetMediumType()), xa);
  const TocTrack* t = nullptr;
  for (const TocTrack& x : tracks) {
    const bool match = addressType == READ_TRACK_INFO_LBA ? number >= x.start && number < x.end
                       : addressType == READ_TRACK_INFO_TRACK ? x.number == number
                       : addressType == READ_TRACK_INFO_SESSION ? x.session == number
                                                                : false;
    if (match) {
      t = &x;
      break;
    }
  }
  if (!t) {
    m_Sense = refused;
    m_sLastError = refusedError;
    return r;
  }
  const std::uint8_t dataMode = (t->control & 0x04) ? (xa ? 0x02 : 0x01) : 0x0F;
  mmc::PutTrackInfo(out, {t->number, t->session, t->control, dataMode, static_cast<std::uint32_t>(t->start),
                          static_cast<std::uint32_t>(t->end - t->start)});
  return 0;
}

int CDevCmdROM::ReadTrackInfoEx(TRACK_INFO& out, int addressType, int number) {
  // The extended form also asks for the open track (MMC's OPEN bit), which a
  // plain request by number would not describe on some drives.
  auto c = Command({kReadTrackInformation, static_cast<std::uint8_t>((addressType & 0x03) | 0x04)}, 10,
                   DataDirection::FromDevice, out.data, sizeof out.data);
  PutBE32(c.cdb + 2, static_cast<std::uint32_t>(number));
  PutBE16(c.cdb + 7, sizeof out.data);
  int r = Send(c);
  if (r != 0 && m_Sense.key == 0x05) {
    // Drives that reject the OPEN bit answer the plain request.
    return ReadTrackInfo(out, addressType, number);
  }
  return r;
}

int CDevCmdROM::ReadCD_10(unsigned char* buffer, int bytes, int count, std::uint32_t lba) {
  if (!buffer || count <= 0 || bytes < count * kUserBytes) {
    m_sLastError = "buffer too small for the sectors asked";
    return -1;
  }
  auto c = Command({kRead10}, 10, DataDirection::FromDevice, buffer, static_cast<std::size_t>(count) * disc::kUserDataSize);
  PutCdbLba(c.cdb, lba);
  PutBE16(c.cdb + 7, static_cast<std::uint32_t>(count));
  return Send(c);
}

namespace {

// READ CD for count sectors of any type with the given field selection.
ScsiCommand ReadCdCommand(std::uint32_t lba, int count, std::uint8_t fields, unsigned char* buffer,
                          std::size_t bytes) {
  auto c = Command({kReadCd, 0x00}, 12, DataDirection::FromDevice, buffer, bytes);
  PutCdbLba(c.cdb, lba);
  c.cdb[6] = static_cast<std::uint8_t>(count >> 16);
  c.cdb[7] = static_cast<std::uint8_t>(count >> 8);
  c.cdb[8] = static_cast<std::uint8_t>(count);
  c.cdb[9] = fields;
  return c;
}

}  // namespace

int CDevCmdROM::ReadCD_Data(unsigned char* buffer, int bytes, int count, std::uint32_t lba) {
  if (!buffer || count <= 0 || bytes < count * kUserBytes) {
    m_sLastError = "buffer too small for the sectors asked";
    return -1;
  }
  // User data only: 2048 bytes a sector for Mode 1 and Form 1 (2324 for Form 2,
  // so the transfer is bounded by the caller's buffer, not by the sector count).
  auto c = ReadCdCommand(lba, count, kFieldUserData, buffer, static_cast<std::size_t>(bytes));
  return Send(c);
}

int CDevCmdROM::ReadCD_All(unsigned char* buffer, int bytes, int count, std::uint32_t lba) {
  if (!buffer || count <= 0 || bytes <= 0) {
    m_sLastError = "no buffer for the sectors asked";
    return -1;
  }
  if (bytes >= count * kRawBytes) {
    auto c = ReadCdCommand(lba, count, kFieldAll, buffer, static_cast<std::size_t>(count) * disc::kRawSectorSize);
    return Send(c);
  }
  // A buffer too small for whole raw sectors gets the sectors' user data, as
  // callers that pass count * 2048 expect.
  if (bytes >= count * kUserBytes) return ReadCD_10(buffer, bytes, count, lba);
  m_sLastError = "buffer too small for the sectors asked";
  return -1;
}

MEDIUM_TYPE CDevCmdROM::GetMediumType() {
  unsigned char head[mmc::kConfigHeaderSize] = {};
  auto c = Command({kGetConfiguration, 0x02}, 10, DataDirection::FromDevice, head, sizeof head);
  PutBE16(c.cdb + 7, sizeof head);
  if (Send(c) != 0) return 0;
  return mmc::CurrentProfile(head);
}

int CDevCmdROM::GetConfig(unsigned char* buffer, int length) {
  if (!buffer || length <= 0) return -1;
  const auto alloc = static_cast<std::uint32_t>(std::min(length, 0xFFFF));
  auto c = Command({kGetConfiguration, 0x00}, 10, DataDirection::FromDevice, buffer, alloc);
  PutBE16(c.cdb + 7, alloc);
  return Send(c);
}

int CDevCmdROM::GetParamPage(PARAM_PAGE_READ& page, int /*deviceId*/, SenseData_tag& sense) {
  const auto code = static_cast<std::uint8_t>(mmc::ModePageCode(page));
  unsigned char buf[8 + sizeof page.data] = {};
  auto c = Command({kModeSense10, 0x08, code}, 10, DataDirection::FromDevice, buf, sizeof buf);
  PutBE16(c.cdb + 7, sizeof buf);
  int r = Send(c);
  sense = m_Sense;
  if (r != 0) return r;
  // Skip the mode parameter header and any block descriptors.
  const std::size_t bdLen = GetBE16(buf + 6);
  const std::size_t start = 8 + bdLen;
  if (start >= sizeof buf) return -1;
  std::memcpy(page.data, buf + start, std::min(sizeof page.data, sizeof buf - start));
  return 0;
}

int CDevCmdROM::Lock(bool lock) {
  auto c = Command({kPreventAllow, 0, 0, 0, static_cast<std::uint8_t>(lock ? 1 : 0), 0}, 6, DataDirection::None,
                   nullptr, 0);
  return Send(c);
}

int CDevCmdROM::Eject(bool eject) {
  // LoEj with Start clear ejects, with Start set loads.
  auto c = Command({kStartStopUnit, 0, 0, 0, static_cast<std::uint8_t>(eject ? 0x02 : 0x03), 0}, 6,
                   DataDirection::None, nullptr, 0, 60000);
  return Send(c);
}

// ---------------------------------------------------------------- file systems

int CDevCmdROM::JudgeFileSystem(std::uint32_t start) {
  orvane::DeviceSectorSource source(*this);
  return fs::Recognise(source, start).Code();
}

int CDevCmdROM::ReadCapacity(std::uint32_t& lastLba) {
  unsigned char cap[8] = {};
  auto c = Command({kReadCapacity}, 10, DataDirection::FromDevice, cap, sizeof cap);
  const int r = Send(c);
  if (r == 0) lastLba = GetBE32(cap);
  return r;
}

// ---------------------------------------------------------------- sub-channel

int CDevCmdROM::ReadSubChannel(unsigned char* buffer, int length, int format, int track) {
  if (!buffer || length <= 0) return -1;
  std::memset(buffer, 0, static_cast<std::size_t>(length));
  // SubQ set: the data, not only the header; addresses as LBAs.
  auto c = Command({kReadSubChannel, 0, kSubQ, static_cast<std::uint8_t>(format), 0, 0,
                    static_cast<std::uint8_t>(track)},
                   10, DataDirection::FromDevice, buffer, static_cast<std::size_t>(length));
  PutBE16(c.cdb + 7, static_cast<std::uint32_t>(std::min(length, 0xFFFF)));
  return Send(c);
}

namespace {
// READ SUB-CHANNEL format 2 or 3 answer: 4-byte header, then format code,
// 3 more bytes, the valid bit (MCVal/TCVal) in bit 7, then the code. A drive
// that found no code clears the valid bit; anything but digits (and, in an
// ISRC, capitals) is no code either.
std::string QCode(const unsigned char* buf, int format, std::size_t length, bool letters) {
  constexpr std::size_t kFormatAt = 4, kValidAt = 8, kCodeAt = 9;
  if (buf[kFormatAt] != format || !(buf[kValidAt] & 0x80)) return {};
  std::string code(reinterpret_cast<const char*>(buf + kCodeAt),
                   strnlen(reinterpret_cast<const char*>(buf + kCodeAt), length));
  // Some drives answer all zeros, with the valid bit set, for a disc without one.
  if (code.size() != length || code.find_first_not_of('0') == std::string::npos) return {};
  for (char c : code)
    if (!(c >= '0' && c <= '9') && !(letters && c >= 'A' && c <= 'Z')) return {};
  return code;
}
}  // namespace

int CDevCmdROM::GetMediaCatalog(std::string& catalog) {
  catalog.clear();
  unsigned char buf[24];
  const int r = ReadSubChannel(buf, sizeof buf, kSubChannelCatalog);
  if (r == 0) catalog = QCode(buf, kSubChannelCatalog, 13, false);
  return r;
}

int CDevCmdROM::GetTrackIsrc(int track, std::string& isrc) {
  isrc.clear();
  unsigned char buf[24];
  const int r = ReadSubChannel(buf, sizeof buf, kSubChannelIsrc, track);
  if (r == 0) isrc = QCode(buf, kSubChannelIsrc, 12, true);
  return r;
}

int CDevCmdROM::ReadCD_SubQ(unsigned char* buffer, int bytes, int count, std::uint32_t lba) {
  constexpr int kQBytes = 16;
  if (!buffer || count <= 0 || bytes < count * kQBytes) {
    m_sLastError = "buffer too small for the sectors asked";
    return -1;
  }
  auto c = ReadCdCommand(lba, count, 0, buffer, static_cast<std::size_t>(count) * kQBytes);
  c.cdb[10] = kSubChannelFormattedQ;
  return Send(c);
}

// ---------------------------------------------------------------- CD-TEXT

int CDevCmdROM::GetCDText(FS_CDTEXT_INFO& out) {
  std::vector<unsigned char> buf(4 + 18 * 2048, 0);  // the most packs 8 blocks can hold
  const int r = ReadToc(buf.data(), static_cast<int>(buf.size()), 5, 0);
  if (r != 0) return r;
  const std::size_t len = std::min<std::size_t>(GetBE16(buf.data()) + 2u, buf.size());
  if (len < 4) return 0;
  const auto entries = orvane::ParseCdTextPacks(buf.data() + 4, len - 4);
  // Message stands as the special title; songwriter as the songster.
  using mmc::CdTextItem;
  for (std::size_t n = 0; n < entries.size() && n < std::size_t{mmc::kCdTextEntries}; ++n) {
    const auto& e = entries[n];
    const std::pair<const std::string*, CdTextItem> fields[] = {
        {&e.title, CdTextItem::Title},       {&e.performer, CdTextItem::Performer},
        {&e.message, CdTextItem::SpecialTitle}, {&e.composer, CdTextItem::Composer},
        {&e.songwriter, CdTextItem::Songster}, {&e.isrc, CdTextItem::Isrc}};
    for (const auto& [text, item] : fields)
      if (!text->empty()) mmc::PutCdTextField(out, static_cast<int>(n), item, *text);
  }
  return 0;
}
