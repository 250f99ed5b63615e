#include "disc/TextCodec.h"

#include <cstring>

namespace {

// UTF-8 bytes of one code point.
int EncodeUtf8(char32_t c, char out[4]) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

template <typename Unit>
std::string DecodeUtf16(std::size_t count, Unit unit) {
  std::string s;
  s.reserve(count);
  char buf[4];
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count) {
      char32_t lo = unit(i + 1);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate
    }
    s.append(buf, EncodeUtf8(c, buf));
  }
  return s;
}

}  // namespace

std::string WideToAnsi(const char16_t* text, std::size_t count) {
  if (!text) return {};
  return DecodeUtf16(count, [&](std::size_t i) { return static_cast<char32_t>(text[i]); });
}

std::size_t WideToAnsi(const char16_t* text, std::size_t count, char* out, std::size_t outSize) {
  std::string s = WideToAnsi(text, count);
  if (!out) return s.size();
  return CopyUtf8Bounded(s, out, outSize);
}

std::string Utf16BeToUtf8(const unsigned char* b, std::size_t byteCount) {
  if (!b) return {};
  return DecodeUtf16(byteCount / 2, [&](std::size_t i) {
    return static_cast<char32_t>((b[2 * i] << 8) | b[2 * i + 1]);
  });
}

std::string Latin1ToUtf8(const unsigned char* b, std::size_t n) {
  std::string s;
  if (!b) return s;
  s.reserve(n);
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) s.append(buf, EncodeUtf8(b[i], buf));
  return s;
}

bool IsValidUtf8(const unsigned char* s, std::size_t n) {
  // The least code point each sequence length may carry: anything below is an overlong form.
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    const std::size_t more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 0;
    if (more == 0 || more >= n - i) return false;
    char32_t cp = c & (0x3F >> more);
    for (std::size_t k = 1; k <= more; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (cp < kLeast[more] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    i += more + 1;
  }
  return true;
}

bool IsValidUtf8(std::string_view text) {
  return IsValidUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::string Utf8OrLatin1(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return Latin1ToUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::size_t CopyUtf8Bounded(std::string_view text, char* out, std::size_t outSize) {
  if (!out || outSize == 0) return 0;
  std::size_t n = text.size() < outSize - 1 ? text.size() : outSize - 1;
  // Back up over continuation bytes so a character is never cut.
  if (n < text.size()) {
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return n;
}
