#pragma once
// Shared by the UDF command tests: the volume view's rows, lower-cased text,
// block lists as the "Anchors" row prints them.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "tests/cli/BrowserCliUtil.h"

namespace udfcli {

// The value of a `vol` row, empty when there is none.
inline std::string VolRow(const std::string& volOut, const std::string& name) {
  for (const auto& row : browsercli::Lines(volOut, 2))
    if (row[0] == name) return row[1];
  return {};
}

inline std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// "256, 3999": items joined by a comma and a space.
template <typename T>
std::string Joined(const std::vector<T>& items) {
  std::string s;
  for (const T& i : items) {
    if (!s.empty()) s += ", ";
    if constexpr (std::is_arithmetic_v<T>) {
      s += std::to_string(i);
    } else {
      s += i;
    }
  }
  return s;
}

}  // namespace udfcli
