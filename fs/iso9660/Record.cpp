// Directory records and names of ISO 9660.
#include "fs/iso9660/Record.h"

#include <algorithm>

#include "disc/ByteOrder.h"
#include "disc/TextCodec.h"

namespace fs::iso9660 {

RecordStatus ParseRecord(std::span<const std::uint8_t> bytes, DirectoryRecord& out) {
  if (bytes.empty() || bytes[kRecLength] == 0) return RecordStatus::End;
  const std::size_t len = bytes[kRecLength];
  if (len < kMinRecordLength) return RecordStatus::TooShort;
  if (len > bytes.size()) return RecordStatus::PastEnd;
  const std::uint8_t* r = bytes.data();
  out.length = len;
  out.extent = GetLE32(r + kRecExtent);
  out.dataLength = GetLE32(r + kRecDataLength);
  std::copy_n(r + kRecTime, out.time.size(), out.time.begin());
  out.flags = r[kRecFlags];
  const std::size_t declared = r[kRecIdLength];
  const std::size_t held = std::min(declared, len - kRecId);
  out.identifier = bytes.subspan(kRecId, held);
  // An even identifier length is followed by a pad byte; what follows up to
  // the record's end is the System Use field.
  const std::size_t suStart = kRecId + held + (held % 2 == 0 ? 1 : 0);
  out.systemUse = suStart < len ? bytes.subspan(suStart, len - suStart) : std::span<const std::uint8_t>{};
  return held < declared ? RecordStatus::NamePastRecord : RecordStatus::Ok;
}

std::string DecodeName(const std::uint8_t* id, std::size_t length, bool joliet) {
  char out[kNameBufferSize] = {};
  if (joliet) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
      const char16_t u = static_cast<char16_t>((id[i] << 8) | id[i + 1]);
      if (u == 0) break;
      units.push_back(u);
    }
    WideToAnsi(units.data(), units.size(), out, sizeof out);
    return out;
  }
  std::size_t n = 0;
  while (n < length && id[n] != 0) ++n;
  if (IsValidUtf8(id, n)) {
    CopyUtf8Bounded(std::string_view(reinterpret_cast<const char*>(id), n), out, sizeof out);
  } else {
    CopyUtf8Bounded(Latin1ToUtf8(id, n), out, sizeof out);
  }
  return out;
}

std::string DropVersion(std::string name) {
  if (name.size() >= 2 && name.compare(name.size() - 2, 2, ";1") == 0) name.resize(name.size() - 2);
  return name;
}

}  // namespace fs::iso9660
