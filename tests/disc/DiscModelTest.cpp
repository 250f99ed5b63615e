#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "disc/DiscModel.h"

namespace {

TocData::_Data Descriptor(unsigned char control, unsigned char point, unsigned m, unsigned s, unsigned f) {
  TocData::_Data d;
  d[0] = control;
  d[2] = point;
  d[7] = static_cast<unsigned char>(m);
  d[8] = static_cast<unsigned char>(s);
  d[9] = static_cast<unsigned char>(f);
  return d;
}

// One 11-byte raw full-TOC descriptor.
void PutRaw(std::vector<unsigned char>& raw, int session, unsigned char adrControl, unsigned char point,
            unsigned pm, unsigned ps, unsigned pf) {
  raw.insert(raw.end(), {static_cast<unsigned char>(session), adrControl, 0, point, 0, 0, 0, 0,
                         static_cast<unsigned char>(pm), static_cast<unsigned char>(ps),
                         static_cast<unsigned char>(pf)});
}

}  // namespace

TEST(StartPosition, MsfRuleAcrossTheWholeRange) {
  struct Case {
    unsigned m, s, f;
    std::int32_t lba;
  } cases[] = {
      {0, 2, 0, 0},           {0, 1, 74, -1},       {89, 59, 74, 404849},
      {90, 0, 0, -45150},     {99, 59, 74, -151},   {0xFF, 0xFF, 0xFF, 0xFFFFFF},
      {79, 59, 74, 359849},   {0, 0, 0, -150},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Descriptor(0x14, 1, c.m, c.s, c.f).GetStartPos(), c.lba) << c.m << ":" << c.s << ":" << c.f;
  }
  // Only all three at FF mean "no position".
  EXPECT_NE(Descriptor(0x14, 1, 0xFF, 0xFF, 0).GetStartPos(), 0xFFFFFF);
}

TEST(TrackKind, ControlBitTwoDecidesAndAdrIsIgnored) {
  for (unsigned char adr = 0; adr < 16; ++adr) {
    for (unsigned char control : {0x04, 0x06, 0x05, 0x0C}) {
      auto d = Descriptor(static_cast<unsigned char>(adr << 4 | control), 1, 0, 2, 0);
      EXPECT_TRUE(d.is_data_track());
      EXPECT_FALSE(d.is_audio_track());
    }
    for (unsigned char control : {0x00, 0x02, 0x01, 0x08}) {
      auto d = Descriptor(static_cast<unsigned char>(adr << 4 | control), 1, 0, 2, 0);
      EXPECT_TRUE(d.is_audio_track());
      EXPECT_FALSE(d.is_data_track());
    }
  }
  EXPECT_EQ(Descriptor(0x10, 0xA2, 0, 0, 0).GetTrackIndex(), 0xA2);
}

TEST(TocDataArray, GrowsByDoublingAndKeepsOrder) {
  TocData t(3);
  EXPECT_EQ(t.size(), 0);
  EXPECT_EQ(t.capacity(), 0);
  std::vector<int> capacities;
  for (int i = 1; i <= 9; ++i) {
    t.add(Descriptor(0, static_cast<unsigned char>(i), 0, 2, i));
    capacities.push_back(t.capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{1, 2, 4, 4, 8, 8, 8, 8, 16}));
  for (int i = 0; i < 9; ++i) EXPECT_EQ(t[i].GetTrackIndex(), i + 1);
  EXPECT_EQ(t.GetSessNo(), 3);
}

TEST(TocDataArray, CheckedAccessAndInit) {
  TocData never;
  try {
    never.at(0);
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
  }
  TocData t(2);
  t.add(Descriptor(0x14, 1, 0, 2, 0));
  EXPECT_EQ(t.at(0).GetTrackIndex(), 1);
  EXPECT_THROW(t.at(t.size()), std::out_of_range);
  EXPECT_THROW(t.at(-1), std::out_of_range);
  const int cap = t.capacity();
  t.init();
  EXPECT_EQ(t.size(), 0);
  EXPECT_EQ(t.GetSessNo(), 2);
  EXPECT_EQ(t.capacity(), cap);
  EXPECT_THROW(t.at(0), std::out_of_range);
}

TEST(TocDataArray, CopiesAreDeepAndCompareBySessionNumber) {
  TocData a(1);
  a.add(Descriptor(0x14, 1, 0, 2, 0));
  TocData b(a);
  b[0][2] = 7;
  b.add(Descriptor(0x14, 2, 0, 2, 0));
  EXPECT_EQ(a.size(), 1);
  EXPECT_EQ(a[0].GetTrackIndex(), 1);
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(a == 1);
  EXPECT_FALSE(a == 2);
  TocData c(5);
  c = b;
  EXPECT_EQ(c.GetSessNo(), 1);
  EXPECT_EQ(c.size(), 2);
  c = c;  // self-assignment keeps the content
  EXPECT_EQ(c.size(), 2);
}

TEST(TocDataQueries, ControlPointsAndTracks) {
  TocData t(1);
  t.add(Descriptor(0x14, 0xA0, 1, 0x20, 0));  // first track 1, CD-ROM XA
  t.add(Descriptor(0x14, 0xA1, 3, 0, 0));
  t.add(Descriptor(0x14, 0xA2, 10, 0, 0));
  t.add(Descriptor(0x14, 1, 0, 2, 0));
  t.add(Descriptor(0x10, 2, 1, 0, 0));
  t.add(Descriptor(0x10, 3, 2, 0, 0));
  EXPECT_EQ(t.GetFirstTrackNo(), 1);
  EXPECT_EQ(t.GetLastTrackNo(), 3);
  EXPECT_EQ(t.GetDiscType(), 0x20);
  EXPECT_EQ(t.GetLeadOutStartPos(), 10u * 60 * 75 - 150);
  TocData::_Data out;
  EXPECT_TRUE(t.GetTrackData(2, out));
  EXPECT_EQ(out.GetStartPos(), 60 * 75 - 150);
  EXPECT_FALSE(t.GetTrackData(4, out));
  EXPECT_EQ(t.GetTrackData(4), nullptr);
  ASSERT_NE(t.GetTrackData(3), nullptr);
  EXPECT_EQ(t.GetTrackData(3)->GetStartPos(), 2 * 60 * 75 - 150);
  // A control point is never taken for a track.
  EXPECT_EQ(t.GetTrackData(0xA0), nullptr);
  TocData empty;
  EXPECT_EQ(empty.GetFirstTrackNo(), 0);
  EXPECT_EQ(empty.GetLastTrackNo(), 0);
  EXPECT_EQ(empty.GetTrackData(1), nullptr);
}

TEST(SessionParse, TwoSessionsFromARawFullToc) {
  std::vector<unsigned char> raw;
  PutRaw(raw, 1, 0x14, 0xA0, 1, 0x20, 0);
  PutRaw(raw, 1, 0x14, 0xA1, 1, 0, 0);
  PutRaw(raw, 1, 0x14, 0xA2, 5, 0, 0);
  PutRaw(raw, 1, 0x14, 1, 0, 2, 0);
  PutRaw(raw, 1, 0x54, 0xB0, 7, 32, 0);
  PutRaw(raw, 2, 0x14, 0xA0, 2, 0x20, 0);
  PutRaw(raw, 2, 0x14, 0xA1, 2, 0, 0);
  PutRaw(raw, 2, 0x14, 0xA2, 9, 0, 0);
  PutRaw(raw, 2, 0x14, 2, 7, 34, 0);
  SessionInfo s(raw.data(), static_cast<int>(raw.size()));
  ASSERT_EQ(s.GetSessionNum(), 2);
  EXPECT_EQ(s[0].GetSessNo(), 1);
  EXPECT_EQ(s[1].GetSessNo(), 2);
  EXPECT_EQ(s[0].size(), 5);
  EXPECT_EQ(s[1].size(), 4);
  EXPECT_EQ(s[1].GetFirstTrackNo(), 2);
  EXPECT_EQ(s[1].GetTrackData(2)->GetStartPos(), (7 * 60 + 34) * 75 - 150);
  EXPECT_EQ(s.front().GetSessNo(), 1);
  EXPECT_EQ(s.back().GetSessNo(), 2);
  // Descriptors keep buffer order within a session.
  EXPECT_EQ(s[0][4].GetTrackIndex(), 0xB0);

  SessionInfo copy(s);
  copy[0].init();
  EXPECT_EQ(s[0].size(), 5);
  SessionInfo assigned;
  assigned = s;
  EXPECT_EQ(assigned.GetSessionNum(), 2);
  EXPECT_EQ(assigned[1].size(), 4);
}

TEST(SessionParse, OutOfOrderSessionsAndOddLengthsStayInsideTheBuffer) {
  std::vector<unsigned char> raw;
  PutRaw(raw, 3, 0x14, 0xA0, 3, 0, 0);
  PutRaw(raw, 1, 0x14, 0xA0, 1, 0, 0);
  PutRaw(raw, 2, 0x14, 0xA0, 2, 0, 0);
  PutRaw(raw, 1, 0x14, 1, 0, 2, 0);
  // A trailing partial descriptor (length not a multiple of 11) is ignored;
  // the buffer is exactly what the parser may read.
  std::vector<unsigned char> exact(raw.begin(), raw.end());
  exact.push_back(9);
  exact.push_back(0x14);
  SessionInfo s(exact.data(), static_cast<int>(exact.size()));
  ASSERT_EQ(s.GetSessionNum(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(s[i].GetSessNo(), i + 1);
  EXPECT_EQ(s[0].size(), 2);

  SessionInfo none(raw.data(), 10);
  EXPECT_EQ(none.GetSessionNum(), 0);
  SessionInfo negative(raw.data(), -4);
  EXPECT_EQ(negative.GetSessionNum(), 0);
  SessionInfo null(nullptr, 100);
  EXPECT_EQ(null.GetSessionNum(), 0);
}

TEST(SessionParse, CheckedEndsAndInit) {
  SessionInfo s;
  for (auto f : {+[](SessionInfo& x) { x.front(); }, +[](SessionInfo& x) { x.back(); }}) {
    try {
      f(s);
      FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "invalid deque<T> subscript");
    }
  }
  const SessionInfo& cs = s;
  EXPECT_THROW(cs.front(), std::out_of_range);
  for (int i = 1; i <= 40; ++i) s.push(TocData(i));
  s.push_front(TocData(0));
  EXPECT_EQ(s.GetSessionNum(), 41);
  EXPECT_EQ(s.front().GetSessNo(), 0);
  EXPECT_EQ(s.back().GetSessNo(), 40);
  s.init();
  EXPECT_EQ(s.GetSessionNum(), 0);
  EXPECT_THROW(s.back(), std::out_of_range);
}

TEST(Sense, SixArgumentLayoutAndComparisons) {
  SenseData_tag a(1, 2, 3, 5, 0x24, 0);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&a);
  EXPECT_EQ(bytes[4], 5);
  EXPECT_EQ(bytes[5], 0x24);
  EXPECT_EQ(bytes[6], 0);
  EXPECT_EQ(bytes[7], 1);
  EXPECT_EQ(bytes[8], 2);
  EXPECT_EQ(bytes[9], 3);
  SenseData_tag b(9, 9, 9, 5, 0x24, 1);
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(a != b);
  SenseData_tag c(0, 0, 0, 5, 0x24, 0);
  EXPECT_TRUE(a == c);  // the status bytes do not take part
  EXPECT_FALSE(a != c);

  _SENSE_DATA s{};
  s.ErrorCode = 0x70;
  s.SenseKey = 0xE5;  // high bits (filemark, EOM, ILI...) are not the key
  s.AdditionalSenseCode = 0x24;
  s.AdditionalSenseCodeQualifier = 0;
  EXPECT_TRUE(a == s);
  s.AdditionalSenseCodeQualifier = 1;
  EXPECT_FALSE(a == s);
  EXPECT_EQ(offsetof(_SENSE_DATA, AdditionalSenseCode), 12u);
}
