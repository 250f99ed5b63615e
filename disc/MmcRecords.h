#pragma once
// Named fields of the MMC response records. The records hold the drive's
// bytes unchanged (multi-byte values big-endian); everything above the device
// library reads and fills them through these accessors and nothing else.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/Msf.h"

namespace mmc {

// ------------------------------------------------ READ DISC INFORMATION

enum class DiscStatus { Empty = 0, Incomplete = 1, Complete = 2, Other = 3 };

class DiscInfoFields {
 public:
  explicit DiscInfoFields(const DISC_INFO& r) : b_(r.data) {}
  DiscStatus Status() const { return static_cast<DiscStatus>(b_[2] & 0x03); }
  bool IsEmpty() const { return Status() == DiscStatus::Empty; }
  int FirstTrack() const { return b_[3]; }  // of the disc; one byte in every MMC revision
  int Sessions() const { return b_[4] | b_[9] << 8; }
  int FirstTrackInLastSession() const { return b_[5] | b_[10] << 8; }
  int LastTrackInLastSession() const { return b_[6] | b_[11] << 8; }
  int DiscType() const { return b_[8]; }  // 0x00 CD-DA/CD-ROM, 0x10 CD-I, 0x20 CD-ROM XA, 0xFF none

 private:
  const unsigned char* b_;
};

// ------------------------------------------------ READ TRACK INFORMATION

class TrackInfoFields {
 public:
  explicit TrackInfoFields(const TRACK_INFO& r) : b_(r.data) {}
  int TrackNumber() const { return b_[2] | b_[32] << 8; }
  int SessionNumber() const { return b_[3] | b_[33] << 8; }
  int TrackMode() const { return b_[5] & 0x0F; }  // the TOC's CONTROL nibble
  bool IsDataTrack() const { return (b_[5] & 0x04) != 0; }
  int DataMode() const { return b_[6] & 0x0F; }   // 1 Mode 1, 2 Mode 2, 0x0F none given
  bool NwaValid() const { return (b_[7] & 0x01) != 0; }
  std::uint32_t Start() const { return GetBE32(b_ + 8); }
  std::uint32_t Nwa() const { return GetBE32(b_ + 12); }
  std::uint32_t Size() const { return GetBE32(b_ + 24); }
  // The first sector after the track.
  std::uint64_t End() const { return std::uint64_t{Start()} + Size(); }

 private:
  const unsigned char* b_;
};

// What a device that cannot answer READ TRACK INFORMATION itself puts in the
// record; every other byte is zero.
struct TrackInfoValues {
  int track = 0, session = 0;
  std::uint8_t trackMode = 0, dataMode = 0;
  std::uint32_t start = 0, size = 0;
};
void PutTrackInfo(TRACK_INFO& out, const TrackInfoValues& v);

// ------------------------------------------------ READ TOC/PMA/ATIP

constexpr std::size_t kTocHeaderSize = 4;        // data length, first and last track or session
constexpr std::size_t kFullTocDescriptorSize = 11;
constexpr std::size_t kTrackTocDescriptorSize = 8;

// POINT values of the full TOC's control descriptors.
constexpr int kLastTrackPoint = 99;          // POINTs 1-99 are tracks
constexpr int kPointFirstTrack = 0xA0;       // PMIN first track, PSEC disc type
constexpr int kPointLastTrack = 0xA1;        // PMIN last track
constexpr int kPointLeadOut = 0xA2;          // PMIN:PSEC:PFRAME the lead-out start
constexpr int kPointNextArea = 0xB0;         // MIN:SEC:FRAME the next program area (multi-session)
constexpr int kPointFirstLeadIn = 0xC0;      // PMIN:PSEC:PFRAME the first lead-in
constexpr int kTrackTocLeadOut = 0xAA;       // format 0's lead-out "track"
constexpr int kDiscTypeXa = 0x20;            // CD-ROM XA: Mode 2 sectors
constexpr int kDiscTypeNone = 0xFF;          // disc information of a medium that is no CD

// The header's fields: the data length counts the bytes after itself.
inline std::size_t TocDataLength(const unsigned char* toc) { return GetBE16(toc); }
inline int TocFirst(const unsigned char* toc) { return toc[2]; }
inline int TocLast(const unsigned char* toc) { return toc[3]; }
// Bytes of descriptors a response of `held` bytes really carries: what the
// header counts, never more than was received.
std::size_t TocDescriptorBytes(const unsigned char* toc, std::size_t held);

// One full-TOC descriptor less its leading session byte: the layout of
// TocData::_Data.
class TocEntry {
 public:
  explicit TocEntry(const unsigned char* tenBytes) : b_(tenBytes) {}
  explicit TocEntry(const TocData::_Data& d) : b_(d.b) {}
  int Adr() const { return b_[0] >> 4; }
  int Control() const { return b_[0] & 0x0F; }
  bool IsDataTrack() const { return (b_[0] & 0x04) != 0; }
  int Point() const { return b_[2]; }
  // The byte between the current and the P position (ZERO); a TOC this
  // program builds for media without one keeps whole 90-minute units there.
  int Zero() const { return b_[6]; }
  int Pmin() const { return b_[7]; }
  int Psec() const { return b_[8]; }
  int Pframe() const { return b_[9]; }
  std::int32_t Start() const { return disc::MsfToLba(Pmin(), Psec(), Pframe()); }
  // Of POINT A0 and A1: the first and last track; of A0: the disc type.
  int TrackNumber() const { return Pmin(); }
  int DiscType() const { return Psec(); }

 private:
  const unsigned char* b_;
};

// One descriptor of a full-TOC response: the session byte, then a TocEntry.
class FullTocDescriptor {
 public:
  explicit FullTocDescriptor(const unsigned char* elevenBytes) : b_(elevenBytes) {}
  int Session() const { return b_[0]; }
  TocEntry Entry() const { return TocEntry(b_ + 1); }

 private:
  const unsigned char* b_;
};

// Fills the 11 bytes of a full-TOC descriptor.
struct FullTocValues {
  int session = 0;
  std::uint8_t adrControl = 0;
  int point = 0;
  int zero = 0;
  disc::Msf p;
};
void PutFullTocDescriptor(unsigned char* elevenBytes, const FullTocValues& v);

// One track descriptor of format 0 asked in LBA form.
class TrackTocDescriptor {
 public:
  explicit TrackTocDescriptor(const unsigned char* eightBytes) : b_(eightBytes) {}
  int Control() const { return b_[1] & 0x0F; }
  int Track() const { return b_[2]; }
  std::int32_t Lba() const { return static_cast<std::int32_t>(GetBE32(b_ + 4)); }

 private:
  const unsigned char* b_;
};

// ------------------------------------------------ CD-TEXT (FS_CDTEXT_INFO)

enum class CdTextItem { Title, Performer, SpecialTitle, Composer, Songster, Isrc };
constexpr int kCdTextEntries = 100;  // 0 the disc, 1-99 the tracks

// The item's text up to its NUL; empty for an entry outside 0-99.
std::string CdTextField(const FS_CDTEXT_INFO& info, int entry, CdTextItem item);
// Stores text (cut to whole characters, NUL-terminated) in the item's field.
void PutCdTextField(FS_CDTEXT_INFO& info, int entry, CdTextItem item, std::string_view text);

// ------------------------------------------------ INQUIRY

// Vendor, product and revision as the drive pads them, up to the first zero
// byte and never past the record.
std::string_view InquiryIdentification(const INQUIRYDATA& inq);

// ------------------------------------------------ mode page 2Ah

constexpr int kModePageCapabilities = 0x2A;
inline int ModePageCode(const PARAM_PAGE_READ& page) { return page.data[0] & 0x3F; }
inline void SetModePageCode(PARAM_PAGE_READ& page, int code) {
  page.data[0] = static_cast<unsigned char>((page.data[0] & 0xC0) | (code & 0x3F));
}

// One capability bit of the page (byte counted from the page code).
struct PageBit {
  int byte, bit;
};
inline bool PageBitSet(const unsigned char* page, PageBit b) { return ((page[b.byte] >> b.bit) & 1) != 0; }

namespace cap {
constexpr PageBit kCdRRead{2, 0}, kCdRwRead{2, 1}, kDvdRomRead{2, 3}, kDvdRRead{2, 4}, kDvdRamRead{2, 5};
constexpr PageBit kCdRWrite{3, 0}, kCdRwWrite{3, 1}, kDvdRWrite{3, 4}, kDvdRamWrite{3, 5};
constexpr PageBit kMode2Form1{4, 4}, kMode2Form2{4, 5};
constexpr PageBit kCdDa{5, 0}, kCdDaAccurate{5, 1}, kRw{5, 2}, kRwDeinterleaved{5, 3}, kC2Pointers{5, 4},
    kIsrc{5, 5}, kUpc{5, 6};
}  // namespace cap

// ------------------------------------------------ GET CONFIGURATION

constexpr unsigned kFeatureDvdPlusRw = 0x002A;
constexpr unsigned kFeatureDvdMinusRwWrite = 0x002F;
constexpr std::size_t kConfigHeaderSize = 8;

// The current profile of the header (0 no medium).
inline int CurrentProfile(const unsigned char* config) { return GetBE16(config + 6); }
// Whether the response of size bytes lists the feature; the walk stays
// inside what the Data Length claims and what was received.
bool ConfigHasFeature(const unsigned char* config, int size, unsigned feature);

}  // namespace mmc
