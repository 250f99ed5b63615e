#include "tests/support/UdfTestTransport.h"

#include <algorithm>
#include <cstring>

#include "disc/ByteOrder.h"
#include "tests/support/CheckCondition.h"

namespace testsupport {

UdfTestTransport::UdfTestTransport(const UdfImage& image)
    : UdfTestTransport(image.bytes, image.unreadable, image.nextWritable, image.trackSize) {}

UdfTestTransport::UdfTestTransport(std::vector<std::uint8_t> b, std::set<std::uint32_t> bad,
                                   std::optional<std::uint32_t> nwa, std::uint32_t size)
    : bytes(std::move(b)), unreadable(std::move(bad)) {
  Track t;
  t.size = size ? size : static_cast<std::uint32_t>(bytes.size() / 2048);
  t.nextWritable = nwa;
  tracks.push_back(t);
}

ScsiResult UdfTestTransport::Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  return CheckCondition(key, asc, ascq);
}

ScsiResult UdfTestTransport::Execute(ScsiCommand& cmd) {
  ScsiResult ok;
  switch (cmd.cdb[0]) {
    case 0x00:  // TEST UNIT READY
      return ready ? ok : Check(0x02, 0x3A, 0x00);
    case 0x28: {  // READ(10)
      std::uint32_t lba = GetBE32(&cmd.cdb[2]);
      std::uint32_t count = GetBE16(&cmd.cdb[7]);
      std::uint32_t sectors = readSector ? sectorCount : static_cast<std::uint32_t>(bytes.size() / 2048);
      if (std::size_t(count) * 2048 > cmd.dataLength) return Check(0x05, 0x24, 0x00);
      for (std::uint32_t i = 0; i < count; ++i) {
        std::uint64_t s = std::uint64_t(lba) + i;
        ++sectorReads;
        if (s >= sectors) return Check(0x05, 0x21, 0x00);
        sectorsRead.insert(static_cast<std::uint32_t>(s));
        if (unreadable.count(static_cast<std::uint32_t>(s))) return Check(0x03, 0x11, 0x05);
        if (readSector)
          readSector(static_cast<std::uint32_t>(s), cmd.data + std::size_t(i) * 2048);
        else
          std::memcpy(cmd.data + std::size_t(i) * 2048, bytes.data() + std::size_t(s) * 2048, 2048);
      }
      ok.transferred = std::size_t(count) * 2048;
      return ok;
    }
    case 0x52: {  // READ TRACK INFORMATION, by track number or by an address in the track
      int type = cmd.cdb[1] & 3;
      std::uint32_t number = GetBE32(&cmd.cdb[2]);
      if (type == 0) {
        const std::uint32_t lba = number;
        number = 0;
        for (std::size_t i = 0; i < tracks.size() && !number; ++i)
          if (lba >= tracks[i].start && lba - tracks[i].start < tracks[i].size) number = static_cast<std::uint32_t>(i + 1);
        type = 1;
      }
      if (type != 1 || number < 1 || number > tracks.size()) return Check(0x05, 0x24, 0x00);
      const Track& t = tracks[number - 1];
      std::uint8_t info[36] = {};
      PutBE16(info, 34);
      info[2] = static_cast<std::uint8_t>(number);
      info[3] = 1;
      info[5] = 0x04;
      info[6] = t.nextWritable ? 0x61 : 0x01;  // an open packet track, or a closed one
      info[7] = t.nextWritable ? 0x01 : 0x00;
      PutBE32(info + 8, t.start);
      if (t.nextWritable) PutBE32(info + 12, *t.nextWritable);
      PutBE32(info + 24, t.size);
      std::size_t n = std::min<std::size_t>(sizeof info, cmd.dataLength);
      std::memcpy(cmd.data, info, n);
      ok.transferred = n;
      return ok;
    }
    default:
      return Check(0x05, 0x20, 0x00);
  }
}

}  // namespace testsupport
