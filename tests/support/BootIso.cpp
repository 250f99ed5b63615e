#include "tests/support/BootIso.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "disc/ByteOrder.h"
#include "tests/support/CdInfo.h"

namespace testsupport {

namespace {

// 1023 sectors of 512 bytes after the MBR: the partition ends with the file.
Bytes HardDisk() {
  Bytes disk = PatternSectors(0, 256, 2048, 7);
  std::fill(disk.begin() + 446, disk.begin() + 512, 0);
  disk[446 + 4] = 0x83;
  PutLE32(disk.data() + 446 + 8, 1);
  PutLE32(disk.data() + 446 + 12, 1023);
  disk[510] = 0x55;
  disk[511] = 0xAA;
  return disk;
}

}  // namespace

Bytes BootIso::Source(const ScratchDir& dir, const BootIsoImage& image) const {
  std::ifstream in(dir.File("src/" + image.source), std::ios::binary);
  Bytes bytes(std::istreambuf_iterator<char>(in), {});
  bytes.resize(std::min(bytes.size(), image.size));
  return bytes;
}

std::optional<BootIso> MakeBootIso(const ScratchDir& dir) {
  if (!HaveProgram("xorriso") || !HaveProgram("mkfs.vfat")) return std::nullopt;
  dir.Write("src/A.TXT", std::string("alpha\n"));
  dir.Write("src/ZED/Z.TXT", std::string("zed\n"));
  dir.Write("src/floppy.img", PatternSectors(0, 720, 2048, 1));
  dir.Write("src/boot.bin", PatternSectors(0, 3, 2048, 2));
  dir.Write("src/hd.img", HardDisk());
  BootIso b{dir.File("boot.iso"),
            {{"floppy.img", "1-x86-1.44M.img", 1474560},
             {"boot.bin", "2-x86-NoEmul.img", 4 * 512},  // -boot-load-size 4
             {"efi.img", "3-EFI-NoEmul.img", 34000 * 1024},
             {"hd.img", "4-x86-HardDisk.img", 1024 * 512}},
            {}};
  // Over 65535 virtual sectors, the EFI image's size is recorded only by its FAT.
  const ProgramRun run = RunProgram(
      "mkfs.vfat -C " + ShellQuote(dir.File("src/efi.img")) + " 34000 >/dev/null && touch -d @981173106 " + ShellQuote(dir.File("src")) +
          " && xorriso -as mkisofs -quiet -R -o " +
          ShellQuote(b.iso) +
          " -c boot.cat -b floppy.img -eltorito-alt-boot -b boot.bin -no-emul-boot -boot-load-size 4"
          " -eltorito-alt-boot -e efi.img -no-emul-boot -eltorito-alt-boot -b hd.img -hard-disk-boot " +
          ShellQuote(dir.File("src")),
      dir);
  if (run.status != 0) b.error = "xorriso or mkfs.vfat failed: " + run.err;
  return b;
}

}  // namespace testsupport
