#pragma once
// The in-memory table of contents: one record per full-TOC descriptor, one
// descriptor list per session, the ordered sessions, and the sense triple of a
// failed command.
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "disc/Msf.h"

// "No position" as GetStartPos gives it for FF:FF:FF.
using disc::kNoPosition;

class TocData {
 public:
  // One MMC full-TOC descriptor less its leading session byte.
  struct _Data {
    unsigned char b[10];

    _Data() { std::memset(b, 0, sizeof b); }
    _Data(const _Data&) = default;
    _Data& operator=(const _Data& o) {
      std::memcpy(b, o.b, sizeof b);
      return *this;
    }
    unsigned char operator[](int i) const { return b[i]; }
    unsigned char& operator[](int i) { return b[i]; }
    int GetTrackIndex() const { return b[2]; }
    int GetControl() const { return b[0] & 0x0F; }
    bool is_data_track() const { return (b[0] & 0x04) != 0; }
    bool is_audio_track() const { return (b[0] & 0x04) == 0; }
    std::int32_t GetStartPos() const { return MsfToLba(b[7], b[8], b[9]); }

    static std::int32_t MsfToLba(unsigned m, unsigned s, unsigned f) { return disc::MsfToLba(m, s, f); }
  };

  explicit TocData(int sessionNo = 1) : m_nSessNo(sessionNo) {}
  TocData(const TocData& o) { *this = o; }
  TocData(TocData&& o) noexcept;
  TocData& operator=(const TocData& o);
  TocData& operator=(TocData&& o) noexcept;
  ~TocData() { delete[] m_pData; }

  void add(const _Data& d);
  int size() const { return m_nSize; }
  const _Data& operator[](int i) const { return m_pData[i]; }
  _Data& operator[](int i) { return m_pData[i]; }
  const _Data& at(int i) const;
  void init() { m_nSize = 0; }
  int capacity() const { return m_nCapacity; }

  int GetSessNo() const { return m_nSessNo; }
  void SetSessNo(int n) { m_nSessNo = n; }
  bool operator==(const TocData& o) const { return m_nSessNo == o.m_nSessNo; }
  bool operator==(int n) const { return m_nSessNo == n; }

  // Values of the session's control descriptors; 0 when the descriptor is absent.
  int GetFirstTrackNo() const;
  int GetLastTrackNo() const;
  std::uint32_t GetLeadOutStartPos() const;
  // The lead-out start, or nothing when the session has no lead-out entry
  // (GetLeadOutStartPos gives 0 for both).
  std::optional<std::int32_t> FindLeadOutStartPos() const;
  // The lead-out descriptor (POINT A2), or null.
  const _Data* GetLeadOutData() const;
  int GetDiscType() const;

  bool GetTrackData(int track, _Data& out) const;
  const _Data* GetTrackData(int track) const;

 private:
  const _Data* FindPoint(int point) const;

  int m_nSessNo = 1;
  _Data* m_pData = nullptr;
  int m_nSize = 0;
  int m_nCapacity = 0;
};

// The disc: session n at index n - 1.
class SessionInfo {
 public:
  SessionInfo() = default;
  // Parses a run of 11-byte full-TOC descriptors (session number, then the 10
  // bytes of a _Data). Sessions come out in ascending order whatever order
  // the descriptors take; a trailing partial descriptor is ignored.
  SessionInfo(const unsigned char* descriptors, int length);
  SessionInfo(const SessionInfo& o) { *this = o; }
  SessionInfo& operator=(const SessionInfo& o);
  ~SessionInfo() { delete[] m_pItems; }

  void init();
  int GetSessionNum() const { return m_nCount; }
  TocData& operator[](int i) { return m_pItems[m_nFirst + i]; }
  const TocData& operator[](int i) const { return m_pItems[m_nFirst + i]; }
  TocData& front();
  const TocData& front() const;
  TocData& back();
  const TocData& back() const;
  void push(const TocData& t);
  void push_front(const TocData& t);

 private:
  void Reserve(int front, int back);

  // A double-ended array: the used slots are [m_nFirst, m_nFirst + m_nCount).
  TocData* m_pItems = nullptr;
  int m_nFirst = 0;
  int m_nCount = 0;
  int m_nCapacity = 0;
};

// The fixed-format SCSI sense block.
struct _SENSE_DATA {
  std::uint8_t ErrorCode;
  std::uint8_t SegmentNumber;
  std::uint8_t SenseKey;  // low four bits
  std::uint8_t Information[4];
  std::uint8_t AdditionalSenseLength;
  std::uint8_t CommandSpecificInformation[4];
  std::uint8_t AdditionalSenseCode;
  std::uint8_t AdditionalSenseCodeQualifier;
  std::uint8_t FieldReplaceableUnitCode;
  std::uint8_t SenseKeySpecific[3];
};

struct SenseData_tag {
  std::uint32_t value;       // bytes 0-3: set by the device library (SCSI status here)
  std::uint8_t key;          // byte 4: sense key
  std::uint8_t asc;          // byte 5
  std::uint8_t ascq;         // byte 6
  std::uint8_t status[3];    // bytes 7-9
  std::uint8_t reserved[2];  // bytes 10-11

  SenseData_tag() {}  // leaves every byte as it is, as callers expect
  SenseData_tag(std::uint8_t a1, std::uint8_t a2, std::uint8_t a3, std::uint8_t a4, std::uint8_t a5,
                std::uint8_t a6)
      : value(0), key(a4), asc(a5), ascq(a6), status{a1, a2, a3}, reserved{0, 0} {}

  bool operator==(const SenseData_tag& o) const { return key == o.key && asc == o.asc && ascq == o.ascq; }
  bool operator!=(const SenseData_tag& o) const { return !(*this == o); }
  bool operator==(const _SENSE_DATA& s) const {
    return key == (s.SenseKey & 0x0F) && asc == s.AdditionalSenseCode && ascq == s.AdditionalSenseCodeQualifier;
  }
};
static_assert(sizeof(SenseData_tag) == 12);
static_assert(sizeof(TocData::_Data) == 10);
