// El Torito catalogs as xorriso writes them (floppy, no emulation, EFI FAT
// images from mkfs.vfat, hard-disk emulation, several entries), each image
// compared with the file it was made from; then hand-made catalogs that
// point past the medium, fail their checksum or run on without end.
#include <gtest/gtest.h>

#include "fs/iso9660/ElTorito.h"
#include "tests/fs/IsoProbe.h"
#include "tests/support/BootIso.h"

namespace {

using fs::iso9660::BootCatalog;
using fs::iso9660::BootSizeBasis;
using fs::iso9660::CatalogFault;
using fs::iso9660::CatalogStatus;
using isoprobe::Bytes;
using isoprobe::MemorySource;

TEST(ElToritoImage, XorrisoCatalogNamesSizesAndBytes) {
  testsupport::ScratchDir dir;
  const auto made = testsupport::MakeBootIso(dir);
  if (!made) GTEST_SKIP() << "xorriso or mkfs.vfat missing";
  ASSERT_TRUE(made->error.empty()) << made->error;
  MemorySource img(isoprobe::ReadFile(made->iso));
  const auto sector = fs::iso9660::BootCatalogSector(std::span(img.Sector(17), 2048));
  ASSERT_TRUE(sector);
  EXPECT_FALSE(fs::iso9660::BootCatalogSector(std::span(img.Sector(16), 2048)));
  const std::uint32_t last = *img.LastSector(0);
  BootCatalog cat = fs::iso9660::ReadBootCatalog(img, *sector, last);
  ASSERT_EQ(cat.status, CatalogStatus::Ok);
  EXPECT_TRUE(cat.faults.empty());
  fs::iso9660::SizeBootImages(img, last, cat);
  // The loader by its recorded 4 virtual sectors; the EFI image, over 65535 of them, by its FAT.
  const BootSizeBasis basis[] = {BootSizeBasis::Floppy, BootSizeBasis::SectorCount, BootSizeBasis::Fat,
                                 BootSizeBasis::Partition};
  ASSERT_EQ(cat.entries.size(), made->images.size());
  for (std::size_t i = 0; i < cat.entries.size(); ++i) {
    const auto& e = cat.entries[i];
    EXPECT_EQ(e.name, made->images[i].name);
    EXPECT_EQ(e.size, made->images[i].size) << e.name;
    EXPECT_EQ(e.basis, basis[i]) << e.name;
    EXPECT_TRUE(e.bootable);
    EXPECT_FALSE(e.capped);
    const Bytes source = made->Source(dir, made->images[i]);
    ASSERT_EQ(e.size, source.size());
    EXPECT_TRUE(std::equal(source.begin(), source.end(), img.bytes.begin() + std::size_t(e.loadRba) * 2048)) << e.name;
  }
  EXPECT_EQ(cat.entries[3].systemType, 0x83);
  EXPECT_EQ(cat.entries[1].sectorCount, 4);

  // A track that ends inside the hard-disk image cuts it there; one ending before an image leaves it empty.
  const std::uint32_t hd = cat.entries[3].loadRba;
  fs::iso9660::SizeBootImages(img, hd + 9, cat);
  EXPECT_EQ(cat.entries[3].size, 10u * 2048);
  EXPECT_TRUE(cat.entries[3].capped);
  fs::iso9660::SizeBootImages(img, hd - 1, cat);
  EXPECT_EQ(cat.entries[3].size, 0u);
  EXPECT_EQ(cat.faults, std::vector{CatalogFault::ImagePastTrack});
}

// ---- hand-made catalogs ----

Bytes CatalogEntry(std::uint8_t indicator, std::uint8_t media, std::uint16_t count, std::uint32_t rba) {
  Bytes e(32, 0);
  e[0] = indicator;
  e[1] = media;
  PutLE16(e.data() + 6, count);
  PutLE32(e.data() + 8, rba);
  return e;
}
Bytes SectionHeader(std::uint8_t kind, std::uint8_t platform, std::uint16_t count) {
  Bytes h(32, 0);
  h[0] = kind;
  h[1] = platform;
  PutLE16(h.data() + 2, count);
  return h;
}
Bytes Validation(std::uint8_t platform = 0) {
  Bytes v(32, 0);
  v[0] = 1;
  v[1] = platform;
  std::memcpy(v.data() + 4, "TESSAL", 6);
  v[30] = 0x55;
  v[31] = 0xAA;
  std::uint16_t sum = 0;
  for (int i = 0; i < 32; i += 2) sum = std::uint16_t(sum + GetLE16(v.data() + i));
  PutLE16(v.data() + 28, std::uint16_t(0x10000 - sum));
  return v;
}
MemorySource WithCatalog(const Bytes& catalog, std::uint32_t sectors = 40) {
  MemorySource src(Bytes(std::size_t(sectors) * 2048, 0));
  std::copy(catalog.begin(), catalog.end(), src.Sector(20));
  return src;
}
Bytes Join(std::vector<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(ElToritoHostile, CatalogsPastTheMediumBrokenOrWithoutEnd) {
  auto src = WithCatalog(Join({Validation(), CatalogEntry(0x88, 0, 4, 30)}));
  EXPECT_EQ(fs::iso9660::ReadBootCatalog(src, 5000, 39).status, CatalogStatus::PastMedium);
  EXPECT_EQ(fs::iso9660::ReadBootCatalog(src, 40, 39).status, CatalogStatus::PastMedium);
  src.unreadable.insert(20);
  EXPECT_EQ(fs::iso9660::ReadBootCatalog(src, 20, 39).status, CatalogStatus::Unreadable);
  src.unreadable.clear();
  auto cat = fs::iso9660::ReadBootCatalog(src, 20, 39);
  EXPECT_EQ(cat.status, CatalogStatus::Ok);
  EXPECT_EQ(cat.idString, "TESSAL");
  ASSERT_EQ(cat.entries.size(), 1u);

  Bytes bad = Validation();
  bad[5] ^= 1;
  EXPECT_EQ(fs::iso9660::ParseBootCatalog(Join({bad, CatalogEntry(0x88, 0, 4, 30)})).status, CatalogStatus::BadChecksum);
  bad = Validation();
  bad[31] = 0;
  EXPECT_EQ(fs::iso9660::ParseBootCatalog(Join({bad, CatalogEntry(0x88, 0, 4, 30)})).status,
            CatalogStatus::BadValidationEntry);

  // Section headers that always say more follow, to the end of what is read: bounded and named.
  Bytes loop = Join({Validation(), CatalogEntry(0x88, 0, 4, 30)});
  while (loop.size() < 8 * 2048) loop = Join({loop, SectionHeader(0x90, 0xEF, 0)});
  auto looping = WithCatalog(loop);
  cat = fs::iso9660::ReadBootCatalog(looping, 20, 39);
  EXPECT_EQ(cat.entries.size(), 1u);
  EXPECT_EQ(cat.faults, std::vector{CatalogFault::SectionsUnfinished});

  // A last section counting 65535 entries, all present: the list stops at its bound.
  Bytes many = Join({Validation(), CatalogEntry(0x88, 0, 4, 30), SectionHeader(0x91, 0, 65535)});
  while (many.size() < 8 * 2048) many = Join({many, CatalogEntry(0x88, 0, 4, 30)});
  auto crowded = WithCatalog(many);
  cat = fs::iso9660::ReadBootCatalog(crowded, 20, 39);
  EXPECT_EQ(cat.entries.size(), fs::iso9660::kMaxBootEntries);
  EXPECT_EQ(cat.faults, std::vector{CatalogFault::TooManyEntries});

  // Counts past the bytes, entries that are not entries.
  cat = fs::iso9660::ParseBootCatalog(Join({Validation(), CatalogEntry(0x88, 0, 4, 30), SectionHeader(0x91, 1, 3),
                                            CatalogEntry(0x88, 0, 4, 31)}));
  EXPECT_EQ(cat.entries.size(), 2u);
  EXPECT_EQ(cat.faults, std::vector{CatalogFault::EntryCountPastEnd});
  cat = fs::iso9660::ParseBootCatalog(Join({Validation(), CatalogEntry(0x88, 0, 4, 30), SectionHeader(0x91, 1, 1),
                                            CatalogEntry(0x55, 0, 4, 31)}));
  EXPECT_EQ(cat.faults, std::vector{CatalogFault::BadEntry});
}

TEST(ElToritoHostile, NamesOfUnknownPlatformsAndSizesCappedAtTheTrack) {
  // Extension entries are skipped; an unknown platform and emulation are named by their ids.
  Bytes withExt = CatalogEntry(0x00, 0x20 | 7, 0, 30);
  Bytes ext(32, 0);
  ext[0] = 0x44;
  auto cat = fs::iso9660::ParseBootCatalog(Join({Validation(0x02), CatalogEntry(0x88, 2, 0, 25), SectionHeader(0x90, 0x5A, 1),
                                                 withExt, ext, SectionHeader(0x91, 0x01, 1), CatalogEntry(0x88, 0, 1, 26)}));
  ASSERT_EQ(cat.entries.size(), 3u);
  EXPECT_TRUE(cat.faults.empty());
  EXPECT_EQ(cat.entries[0].name, "1-Mac-1.44M.img");
  EXPECT_EQ(cat.entries[1].name, "2-0x5A-0x7.img");
  EXPECT_FALSE(cat.entries[1].bootable);
  EXPECT_EQ(cat.entries[2].name, "3-PPC-NoEmul.img");

  // Sizes: a FAT boot sector that lies beyond the track, a 1.44M floppy in a 30-sector track.
  MemorySource src(Bytes(40 * 2048, 0));
  std::uint8_t* fat = src.Sector(26);
  fat[0] = 0xEB;
  PutLE16(fat + 11, 512);
  fat[13] = 1;
  PutLE16(fat + 14, 1);
  fat[16] = 2;
  PutLE16(fat + 19, 8);  // 8 x 512 bytes
  fat[510] = 0x55, fat[511] = 0xAA;
  fs::iso9660::SizeBootImages(src, 29, cat);
  EXPECT_EQ(cat.entries[0].size, 5u * 2048);  // 25..29
  EXPECT_TRUE(cat.entries[0].capped);
  EXPECT_EQ(cat.entries[1].size, 0u);
  EXPECT_EQ(cat.entries[2].size, 4096u);
  EXPECT_EQ(cat.entries[2].basis, BootSizeBasis::Fat);
  EXPECT_EQ(cat.faults, std::vector{CatalogFault::ImagePastTrack});
}

}  // namespace
