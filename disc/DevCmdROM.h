#pragma once
// The device boundary: the device list and one drive or image as the rest of
// the program sees it. Each operation builds an MMC command block and sends it
// through the device's Transport; 0 is success, anything else a failure after
// which GetSenseData tells why. The response records hold the MMC data
// unchanged (multi-byte values big-endian).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disc/DiscModel.h"
#include "disc/Transport.h"

struct INQUIRYDATA {  // standard INQUIRY data
  unsigned char data[96];
};
struct DISC_INFO {  // READ DISC INFORMATION data
  unsigned char data[546];
};
struct TRACK_INFO {  // READ TRACK INFORMATION data
  unsigned char data[36];
};
// A mode page as MODE SENSE(10) returns it without its 8-byte header: byte 0
// holds the page code (the caller sets it), then the page.
struct PARAM_PAGE_READ {
  unsigned char data[256];
};
// The disc's CD-TEXT, block 0. Entry n (0 the disc, 1-99 the tracks) starts at
// 8 + 817 * n: title +0, artist +160, special title +320, composer +480,
// songster +640 (160 bytes each), ISRC +800 (17 bytes); all NUL-terminated UTF-8.
struct FS_CDTEXT_INFO {
  unsigned char data[82526];
};
constexpr int kCdTextEntryOffset = 8;
constexpr int kCdTextEntrySize = 817;

enum READ_TRACK_INFO_TYPE { READ_TRACK_INFO_LBA = 0, READ_TRACK_INFO_TRACK = 1, READ_TRACK_INFO_SESSION = 2 };

// The current MMC profile (GET CONFIGURATION); 0 when there is no medium.
using MEDIUM_TYPE = int;
constexpr bool IsCdMedium(MEDIUM_TYPE t) { return t == 0 || t == 0x08 || t == 0x09 || t == 0x0A; }

class CDevCmdROM {
 public:
  // A drive item (deviceId 1-based, never 0) or the image item (deviceId 0,
  // transport null until SetImageFile).
  CDevCmdROM(unsigned char deviceId, std::unique_ptr<Transport> transport, std::string nodePath = {});
  virtual ~CDevCmdROM();
  CDevCmdROM(const CDevCmdROM&) = delete;
  CDevCmdROM& operator=(const CDevCmdROM&) = delete;

  int TestUnitReady();
  int Inquiry(INQUIRYDATA& out);
  unsigned char GetDeviceID() const { return m_nDeviceId; }
  bool SetImageFile(const std::string& path);

  int ReadToc(unsigned char* buffer, int length, int format, int trackOrSession = 0);
  int ReadDiscInfo(DISC_INFO& out);
  int ReadTrackInfo(TRACK_INFO& out, int addressType, int number);
  int ReadTrackInfoEx(TRACK_INFO& out, int addressType, int number);

  // count sectors (1-16 for the program's callers) starting at lba into buffer of bytes.
  int ReadCD_10(unsigned char* buffer, int bytes, int count, std::uint32_t lba);   // READ(10), 2048 per sector
  int ReadCD_Data(unsigned char* buffer, int bytes, int count, std::uint32_t lba); // READ CD, user data
  int ReadCD_All(unsigned char* buffer, int bytes, int count, std::uint32_t lba);  // READ CD, 2352 per sector
  // The transport's answer for count sectors from lba (Transport::PlainUserData).
  std::optional<PlainBytes> PlainUserData(std::uint32_t lba, std::uint32_t count);

  MEDIUM_TYPE GetMediumType();
  int JudgeFileSystem(std::uint32_t start);
  int GetCDText(FS_CDTEXT_INFO& out);
  int GetConfig(unsigned char* buffer, int length);
  int GetParamPage(PARAM_PAGE_READ& page, int deviceId, SenseData_tag& sense);
  int Lock(bool lock);
  int Eject(bool eject);
  SenseData_tag GetSenseData() const { return m_Sense; }

  // Linux extras: the node path ("/dev/sr0") or the image path, and the
  // reason the last command could not be sent or the image refused.
  const std::string& GetNodePath() const { return m_sNodePath; }
  const std::string& GetLastError() const { return m_sLastError; }
  // READ CAPACITY: the last addressable sector of the medium.
  int ReadCapacity(std::uint32_t& lastLba);
  // READ SUB-CHANNEL with the Q data of the given format (1 position,
  // 2 media catalogue number, 3 a track's ISRC) into a zeroed buffer.
  int ReadSubChannel(unsigned char* buffer, int length, int format, int track = 0);
  // The 13-digit media catalogue number from the Q sub-channel; status 0 with
  // an empty catalog when the drive found none or returned no digits.
  int GetMediaCatalog(std::string& catalog);
  // A track's 12-character ISRC from the Q sub-channel; status 0 with an
  // empty isrc when the drive found none.
  int GetTrackIsrc(int track, std::string& isrc);
  // READ CD of each sector's formatted Q alone: 16 bytes a sector (byte 0
  // ADR/control, 1 the track, 2 the index, both BCD).
  int ReadCD_SubQ(unsigned char* buffer, int bytes, int count, std::uint32_t lba);
  // Sends any command through the transport and keeps its sense.
  int Send(ScsiCommand& cmd);

 protected:
  unsigned char m_nDeviceId = 0;
  std::unique_ptr<Transport> m_pTransport;
  std::string m_sNodePath;
  std::string m_sLastError;
  SenseData_tag m_Sense{0, 0, 0, 0, 0, 0};
};

// Every optical drive, in a stable order, then the image item last.
class DevDeque {
 public:
  DevDeque();                       // enumerates the system's drives
  explicit DevDeque(std::vector<std::unique_ptr<CDevCmdROM>> drives);  // given drives (tests)
  ~DevDeque();
  int GetDevCount() const { return static_cast<int>(m_Items.size()); }
  CDevCmdROM* GetDequeItem(int index) const;

 private:
  std::vector<std::unique_ptr<CDevCmdROM>> m_Items;
};
