// The owner map: the first claim of a sector wins, whatever overlaps it.
#include <gtest/gtest.h>

#include "copy/SectorOwners.h"

using imaging::SectorOwnerMap;

namespace {

std::string Owner(const SectorOwnerMap& m, std::uint64_t lba) {
  const std::string* o = m.OwnerOf(lba);
  return o ? *o : "-";
}

TEST(SectorOwnerMap, FirstClaimWinsAcrossOverlaps) {
  SectorOwnerMap m;
  m.Claim(10, 5, "pvd");     // 10..14
  m.Claim(20, 5, "dir");     // 20..24
  m.Claim(0, 30, "file");    // fills 0..9, 15..19, 25..29 only
  m.Claim(12, 0, "nothing");
  m.Claim(28, 10, "free");   // 30..37
  const std::string want[] = {"file", "pvd", "pvd", "file", "file", "dir", "dir", "file", "file", "free", "free", "-"};
  const std::uint64_t at[] = {0, 10, 14, 15, 19, 20, 24, 25, 29, 30, 37, 38};
  for (std::size_t i = 0; i < std::size(at); ++i) EXPECT_EQ(Owner(m, at[i]), want[i]) << at[i];
  m.Claim(UINT64_MAX - 2, 10, "end");  // a count past the last address stops there
  EXPECT_EQ(Owner(m, UINT64_MAX - 1), "end");
}

TEST(SectorOwnerMap, GroupsEachOwnerOnce) {
  SectorOwnerMap m;
  m.Claim(0, 10, "a");
  m.Claim(10, 10, "b");
  const auto rows = imaging::GroupByOwner(m, {15, 3, 12, 3, 99, 7});
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].owner, "a");
  EXPECT_EQ(rows[0].first, 3u);
  EXPECT_EQ(rows[0].count, 2u);  // 3 twice counts once
  EXPECT_EQ(rows[1].owner, "b");
  EXPECT_EQ(rows[1].first, 12u);
  EXPECT_EQ(rows[1].count, 2u);
  EXPECT_EQ(rows[2].owner, imaging::kOutsideTracks);
}

}  // namespace
