#include <gtest/gtest.h>

#include "disc/DiscModel.h"

TEST(DiscModelSmoke, StartOfFirstTrack) {
  TocData::_Data d;
  d[9] = 0;
  d[8] = 2;
  EXPECT_EQ(d.GetStartPos(), 0);
}
