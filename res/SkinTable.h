#pragma once
// The BMP files drawn by the skin generator at build time and linked into the
// library. The table itself is generated (see res/gen).
#include <cstddef>
#include <cstdint>
#include <span>

namespace res::skin {

enum class EntryKind : std::uint8_t { Bitmap, Icon, Cursor };

struct Entry {
  int id;
  EntryKind kind;
  const std::uint8_t* data;
  std::size_t size;
};

std::span<const Entry> Entries();

}  // namespace res::skin
