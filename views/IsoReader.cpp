// ISO 9660 / Joliet directories for the file browser.
#include "views/IsoReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/SectorLayout.h"
#include "disc/TextCodec.h"
#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"

namespace iso {
namespace {

// Volume descriptor fields.
constexpr std::size_t kVdType = 0;
constexpr std::size_t kVdId = 1;            // "CD001"
constexpr std::size_t kVdEscape = 88;       // escape sequences of a supplementary descriptor
constexpr std::size_t kVdRootRecord = 156;  // root directory record

// Directory record fields.
constexpr std::size_t kRecLength = 0;
constexpr std::size_t kRecExtent = 2;
constexpr std::size_t kRecDataLength = 10;
constexpr std::size_t kRecTime = 18;
constexpr std::size_t kRecFlags = 25;
constexpr std::size_t kRecIdLength = 32;
constexpr std::size_t kRecId = 33;
constexpr unsigned char kFlagDirectory = 0x02;

constexpr int kFirstFileNumber = 5000;

struct ListColumnSpec {
  const char* heading;
  int width;
};
constexpr ListColumnSpec kFolderColumns[] = {{"Name", 100}, {"Time", 100}, {"Type", 100},
                                             {"Size", 100}, {"Pos", 100},  {"Len", 0}};

bool IsDescriptor(const unsigned char* s, unsigned char type) {
  return s[kVdType] == type && std::memcmp(s + kVdId, "CD001", 5) == 0;
}

// One volume descriptor sector. DVD and BD media answer no READ CD: their
// descriptors come from a 2048-byte read, as their directories do.
void ReadDescriptor(CDevCmdROM* device, unsigned char* s, std::uint32_t lba) {
  std::memset(s, 0, kUserSectorSize);
  if (device->ReadCD_Data(s, static_cast<int>(kUserSectorSize), 1, lba) == 0) return;
  std::memset(s, 0, kUserSectorSize);
  device->ReadCD_10(s, static_cast<int>(kUserSectorSize), 1, lba);
}

}  // namespace

Payload RawPayload(const unsigned char* s, int dataMode) {
  const disc::SectorShape shape = disc::ClassifySector(s, dataMode);
  return Payload{shape.offset, shape.size};
}

std::string DecodeName(const unsigned char* id, std::size_t length, bool joliet) {
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

std::string DropVersion(const std::string& name) {
  if (name.size() >= 2 && name.compare(name.size() - 2, 2, ";1") == 0) return name.substr(0, name.size() - 2);
  return name;
}

std::string FormatTime(const unsigned char t[6]) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d-%d-%d %d:%d:%d", t[0] + 1900, t[1], t[2], t[3], t[4], t[5]);
  return buf;
}

Volume FindVolume(CDevCmdROM* device, std::uint32_t start, unsigned char* vdBuffer) {
  Volume v;
  if (!device) return v;
  unsigned char s[kUserSectorSize];
  const unsigned char* chosen = nullptr;
  unsigned char primary[kUserSectorSize];

  // A Joliet volume is browsed through its supplementary descriptor, whose
  // names are UCS-2; the first supplementary descriptor decides.
  for (int i = 0; i < kDescriptorSectors; ++i) {
    ReadDescriptor(device, s, start + 16 + static_cast<std::uint32_t>(i));
    if (!IsDescriptor(s, 2)) continue;
    if (s[kVdEscape] || s[kVdEscape + 1] || s[kVdEscape + 2]) {
      v.joliet = true;
      chosen = s;
    }
    break;
  }
  if (!v.joliet) {
    for (int i = 0; i < kDescriptorSectors && !chosen; ++i) {
      ReadDescriptor(device, primary, start + 16 + static_cast<std::uint32_t>(i));
      if (IsDescriptor(primary, 1)) chosen = primary;
    }
  }
  if (!chosen) return v;
  if (vdBuffer) std::memcpy(vdBuffer, chosen, kUserSectorSize);
  v.found = true;
  v.rootExtent = GetLE32(chosen + kVdRootRecord + kRecExtent);
  v.rootLength = GetLE32(chosen + kVdRootRecord + kRecDataLength);
  return v;
}

bool DirectoryReader::ReadSector(std::uint32_t lba, bool raw, unsigned char* buffer, Payload& payload) {
  std::memset(buffer, 0, kRawSectorSize);
  ++m_nSectorsRead;
  if (raw) {
    const int rc = m_pDevice->ReadCD_All(buffer, static_cast<int>(kRawSectorSize), 1, lba);
    payload = RawPayload(buffer, m_nDataMode);
    return rc == 0;
  }
  payload = Payload{};
  return m_pDevice->ReadCD_10(buffer, static_cast<int>(kUserSectorSize), 1, lba) == 0;
}

std::vector<Record> DirectoryReader::Read(std::uint32_t lba, std::uint32_t size) {
  if (!m_pDevice || m_nSectorsRead >= m_nBudget) return {};
  unsigned char buffer[kRawSectorSize];
  Payload payload;
  if (ReadSector(lba, true, buffer, payload)) return Walk(lba, size, true, buffer, payload);
  // DVD and BD media (and some drives) give no raw sectors: 2048-byte reads.
  if (ReadSector(lba, false, buffer, payload)) return Walk(lba, size, false, buffer, payload);
  return {};
}

std::vector<Record> DirectoryReader::Walk(std::uint32_t lba, std::uint32_t size, bool raw, unsigned char* buffer,
                                          Payload payload) {
  std::vector<Record> out;
  const std::size_t P = payload.size;
  std::size_t pos = payload.start;
  std::size_t end = payload.start + payload.size;

  // A listing knows only the address: the directory's own record (the first
  // one) gives its size when it points back at this sector.
  std::uint64_t D = size;
  if (size == 0) {
    D = P;
    const unsigned char* r = buffer + pos;
    if (r[kRecLength] >= kMinRecordLength && pos + r[kRecLength] <= end && GetLE32(r + kRecExtent) == lba)
      D = GetLE32(r + kRecDataLength);
  }
  const std::uint64_t wanted = (D + P - 1) / P;
  const std::uint32_t n = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(wanted, 1, kMaxDirectorySectors));

  // Its own record and its parent's come first.
  for (int i = 0; i < 2 && pos < end; ++i) pos += buffer[pos];

  std::uint32_t done = 1;
  for (;;) {
    // Records never cross a sector; a sector whose records fill it exactly
    // goes on in the next one just as one that ends in zero padding.
    const std::size_t len = pos < end ? buffer[pos] : 0;
    if (len == 0) {
      if (P >= D || done >= n || m_nSectorsRead >= m_nBudget) break;
      if (lba + done < lba) break;  // no sector past the last address
      const bool ok = ReadSector(lba + done, raw, buffer, payload);
      ++done;
      if (!raw && !ok) break;
      pos = payload.start;
      end = payload.start + payload.size;
      if (buffer[pos] == 0) break;  // an unread or empty sector ends the directory
      continue;
    }
    // A length that cannot hold a record or runs past the sector's data ends
    // the walk instead of reading beyond it.
    if (len < kMinRecordLength || pos + len > end) break;
    const unsigned char* r = buffer + pos;
    Record rec;
    rec.directory = (r[kRecFlags] & kFlagDirectory) != 0;
    rec.extent = GetLE32(r + kRecExtent);
    rec.length = GetLE32(r + kRecDataLength);
    std::memcpy(rec.time, r + kRecTime, 6);
    const std::size_t idLength = std::min<std::size_t>(r[kRecIdLength], len - kRecId);
    rec.name = DecodeName(r + kRecId, idLength, m_bJoliet);
    out.push_back(std::move(rec));
    pos += len;
  }
  return out;
}

namespace {

struct FolderWalk {
  ui::TreeCtrl& tree;
  DirectoryReader reader;
  std::vector<std::uint32_t> ancestors;
  std::size_t folders = 0;

  void Add(ui::HTREEITEM parent, std::uint32_t lba, std::uint32_t size, int depth) {
    const std::vector<Record> records = reader.Read(lba, size);
    for (const Record& r : records) {
      if (!r.directory) continue;
      if (folders >= kMaxFolders) return;
      ui::HTREEITEM item = tree.InsertItem(r.name, 0, 1, parent, ui::TVI_LAST);
      if (!item) continue;
      ++folders;
      tree.SetItemData(item, r.extent);
      // A folder that is itself or one of its ancestors is shown but not
      // entered again; nesting past any real disc's is cut there.
      const bool loop = std::find(ancestors.begin(), ancestors.end(), r.extent) != ancestors.end();
      if (loop || depth + 1 >= kMaxFolderDepth) continue;
      ancestors.push_back(r.extent);
      Add(item, r.extent, r.length, depth + 1);
      ancestors.pop_back();
    }
  }
};

}  // namespace

std::size_t AddFolders(ui::TreeCtrl& tree, CDevCmdROM* device, int dataMode, bool joliet, ui::HTREEITEM parent,
                       std::uint32_t lba, std::uint32_t size) {
  FolderWalk walk{tree, DirectoryReader(device, dataMode, joliet), {lba}, 0};
  walk.reader.SetSectorBudget(kMaxTreeSectors);
  walk.Add(parent, lba, size, 0);
  return walk.folders;
}

void ResetFolderColumns(ui::ListCtrl& list) {
  list.DeleteAllItems();
  constexpr int kColumns = static_cast<int>(std::size(kFolderColumns));
  if (list.GetColumnCount() == kColumns) return;
  for (int n = list.GetColumnCount() + 1; n > 0; --n) list.DeleteColumn(0);
  for (int i = 0; i < kColumns; ++i)
    list.InsertColumn(i, kFolderColumns[i].heading, ui::LVCFMT_LEFT, kFolderColumns[i].width);
}

int FillList(ui::ListCtrl& list, CDevCmdROM* device, int dataMode, bool joliet, std::uint32_t lba) {
  ResetFolderColumns(list);
  DirectoryReader reader(device, dataMode, joliet);
  int folderNo = 0, fileNo = kFirstFileNumber, rows = 0;
  for (const Record& r : reader.Read(lba, 0)) {
    const std::string name = r.directory ? r.name : DropVersion(r.name);
    const int row = list.InsertItem(list.GetItemCount(), name, r.directory ? 0 : 2);
    if (row < 0) continue;
    ++rows;
    list.SetItemData(row, static_cast<ui::DWORD_PTR>(r.directory ? folderNo++ : fileNo++));
    list.SetItemText(row, 1, FormatTime(r.time));
    list.SetItemText(row, 2, r.directory ? "Folder" : "File");
    // Lengths are unsigned 32-bit on the disc: a 4 GiB - 1 file shows as such.
    list.SetItemText(row, 3, r.directory ? std::string() : std::to_string(r.length));
    list.SetItemText(row, 4, std::to_string(r.extent));
  }
  return rows;
}

}  // namespace iso
