#pragma once
// Text of the medium into the program's text, which is UTF-8 throughout.
#include <cstddef>
#include <string>
#include <string_view>

// Converts count UTF-16 code units (host order) to UTF-8. Unpaired surrogates
// become U+FFFD. When out is given, at most outSize - 1 bytes and a NUL are
// stored, and the text is never cut inside a character. Returns the number of
// bytes stored (without the NUL), or the length needed when out is null.
std::size_t WideToAnsi(const char16_t* text, std::size_t count, char* out, std::size_t outSize);
std::string WideToAnsi(const char16_t* text, std::size_t count);

// Big-endian UCS-2/UTF-16 bytes (Joliet, CD-TEXT double-byte, UDF 16-bit
// dstrings) to UTF-8. An odd trailing byte is dropped.
std::string Utf16BeToUtf8(const unsigned char* bytes, std::size_t byteCount);

// Strict UTF-8: no overlong form, no surrogate (U+D800-DFFF), nothing past
// U+10FFFF and no character cut off at the end.
bool IsValidUtf8(const unsigned char* bytes, std::size_t byteCount);
bool IsValidUtf8(std::string_view text);

// Text of the medium that is UTF-8 already stays as it is; anything else is
// read as Latin-1, so the result is always valid UTF-8.
std::string Utf8OrLatin1(std::string_view bytes);

// Latin-1 (ISO 8859-1, UDF 8-bit OSTA compressed unicode, CD-TEXT) to UTF-8.
std::string Latin1ToUtf8(const unsigned char* bytes, std::size_t byteCount);

// Copies text into a fixed buffer of outSize bytes (NUL-terminated) without
// cutting a UTF-8 character; returns the bytes stored.
std::size_t CopyUtf8Bounded(std::string_view text, char* out, std::size_t outSize);
