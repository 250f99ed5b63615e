#pragma once
// A drive that goes bad at random points: it passes commands to a real
// responder and, from a chosen command on, answers some of them with a
// medium error, a drive that is becoming ready, a transport that timed out,
// a short transfer or data that is garbage. The choice is a seeded sequence,
// so a failing seed can be run again.
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>

#include "disc/ByteOrder.h"
#include "disc/Transport.h"
#include "tests/support/CheckCondition.h"

namespace hostile {

enum class Fault { None, MediumError, NotReady, Timeout, Short, Garbage };

class FlakyTransport : public Transport {
 public:
  // One command in `oneIn` goes wrong, once `quiet` commands have passed.
  FlakyTransport(std::unique_ptr<Transport> inner, std::uint32_t seed, int oneIn, bool garbage = true)
      : m_inner(std::move(inner)), m_rng(seed), m_oneIn(oneIn), m_garbage(garbage) {}

  void SetQuiet(std::uint64_t commands) {
    std::lock_guard<std::mutex> l(m_mutex);
    m_quiet = m_count + commands;
  }
  // Every command from now on answered with this fault (None: random again).
  void Force(Fault f) {
    std::lock_guard<std::mutex> l(m_mutex);
    m_forced = f;
  }
  // Faults off (the drive behaves again) or on.
  void Enable(bool on) {
    std::lock_guard<std::mutex> l(m_mutex);
    m_enabled = on;
  }
  std::uint64_t Commands() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_count;
  }
  std::uint64_t Faults() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_faults;
  }
  // Sectors of single-sector reads that were answered with an error.
  std::set<std::uint32_t> FailedSingleReads() const {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_failedSingles;
  }

  std::string Describe() const override { return "flaky " + m_inner->Describe(); }

  ScsiResult Execute(ScsiCommand& cmd) override {
    Fault f;
    {
      std::lock_guard<std::mutex> l(m_mutex);
      ++m_count;
      f = Pick();
      if (f != Fault::None) ++m_faults;
      if ((f == Fault::MediumError || f == Fault::NotReady || f == Fault::Timeout) && IsSingleRead(cmd))
        m_failedSingles.insert(GetBE32(&cmd.cdb[2]));
    }
    switch (f) {
      case Fault::MediumError: return Check(0x03, 0x11, 0x05);
      case Fault::NotReady: return Check(0x02, 0x04, 0x01);
      case Fault::Timeout: {
        ScsiResult r;
        r.status = -1;
        r.error = "command timed out";
        return r;
      }
      default: break;
    }
    ScsiResult r = m_inner->Execute(cmd);
    if (r.status != 0 || !cmd.data || r.transferred == 0) return r;
    std::lock_guard<std::mutex> l(m_mutex);
    if (f == Fault::Short) {
      // Some of the bytes asked, the rest of the buffer left as a drive leaves it.
      if (r.transferred < 2) return r;
      const std::size_t keep = 1 + m_rng() % (r.transferred - 1);
      std::memset(cmd.data + keep, 0xA5, r.transferred - keep);
      r.transferred = keep;
      if (IsSingleRead(cmd)) m_failedSingles.insert(GetBE32(&cmd.cdb[2]));  // part of a sector is no sector
    } else if (f == Fault::Garbage) {
      for (std::size_t i = 0; i < r.transferred; ++i)
        if (m_rng() % 4 == 0) cmd.data[i] = static_cast<std::uint8_t>(m_rng());
    }
    return r;
  }

 private:
  Fault Pick() {
    if (!m_enabled || m_count <= m_quiet) return Fault::None;
    if (m_forced != Fault::None) return m_forced;
    if (m_rng() % m_oneIn != 0) return Fault::None;
    const int kinds = m_garbage ? 5 : 4;
    switch (m_rng() % kinds) {
      case 0: return Fault::MediumError;
      case 1: return Fault::NotReady;
      case 2: return Fault::Timeout;
      case 3: return Fault::Short;
      default: return Fault::Garbage;
    }
  }
  static bool IsSingleRead(const ScsiCommand& c) {
    if (c.cdb[0] == 0x28) return GetBE16(&c.cdb[7]) == 1;
    if (c.cdb[0] == 0xBE) return (c.cdb[6] << 16 | c.cdb[7] << 8 | c.cdb[8]) == 1;
    return false;
  }
  static ScsiResult Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    return testsupport::CheckCondition(key, asc, ascq);
  }

  std::unique_ptr<Transport> m_inner;
  mutable std::mutex m_mutex;
  std::mt19937 m_rng;
  int m_oneIn;
  bool m_garbage;
  bool m_enabled = true;
  Fault m_forced = Fault::None;
  std::uint64_t m_quiet = 0;
  std::uint64_t m_count = 0;
  std::uint64_t m_faults = 0;
  std::set<std::uint32_t> m_failedSingles;
};

}  // namespace hostile
