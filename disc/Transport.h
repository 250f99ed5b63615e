#pragma once
// One SCSI/MMC command on its way to a device, and what came back. Every
// CDevCmdROM operation is a command block handed to a Transport: a real drive
// (SG_IO) or an image served as a virtual drive answer the same way.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

enum class DataDirection { None, FromDevice, ToDevice };

struct ScsiCommand {
  std::uint8_t cdb[16] = {};
  int cdbLength = 0;
  DataDirection direction = DataDirection::None;
  std::uint8_t* data = nullptr;  // caller's buffer
  std::size_t dataLength = 0;    // its size in bytes
  unsigned timeoutMs = 30000;
};

struct ScsiResult {
  // 0 good; 2 check condition (sense valid); anything else a transport failure.
  int status = 0;
  std::size_t transferred = 0;  // bytes actually placed in data
  std::uint8_t sense[32] = {};  // fixed-format sense when status is 2
  std::size_t senseLength = 0;
  std::string error;            // why the command could not be sent at all (open failed, ioctl failed)
};

// Where a run of sectors' 2048-byte user data lies, one sector after another
// and byte for byte, in a file the transport holds open.
struct PlainBytes {
  int fd = -1;               // for reading only; the transport's, not to be closed
  std::uint64_t offset = 0;  // where the first sector's data begins
};

class Transport {
 public:
  virtual ~Transport() = default;
  virtual ScsiResult Execute(ScsiCommand& cmd) = 0;
  // Human-readable description of the device (node path or image path).
  virtual std::string Describe() const = 0;
  // Where count sectors from lba are stored as plain user data, so that they
  // can be copied without being read through commands: only when READ(10)
  // would return exactly those bytes for every one of them (no unreadable
  // sector or mapfile hole among them, no raw or audio storage, the medium
  // in). nullopt otherwise, and from anything but an image: READ(10) is then
  // the way, and always right.
  virtual std::optional<PlainBytes> PlainUserData(std::uint32_t /*lba*/, std::uint32_t /*count*/) {
    return std::nullopt;
  }
};
