// UTF-8, the encoding of file names on Linux and of the tools' arguments and
// messages, to and from wide text (UTF-16 on Windows, UTF-32 on Linux).
#ifndef OV_BASE_UTF8_H
#define OV_BASE_UTF8_H

#include <stddef.h>
#include <stdint.h>

// The code point at text[*pos], joining a surrogate pair where wchar_t is
// 16 bits, and advances *pos past it. A lone surrogate comes back as is.
uint32_t NextWideCodePoint(const wchar_t* text, size_t length, size_t* pos);

// Writes the code point as 1 or 2 wide characters; returns how many.
size_t PutWideCodePoint(uint32_t codePoint, wchar_t* out);

// Writes the UTF-8 form of a code point (at most 4 bytes); returns the byte
// count, 0 above 0x10FFFF.
size_t EncodeUtf8(uint32_t codePoint, char* out);

// Decodes the code point at the start of `bytes`; returns the bytes it
// takes, or 0 when they are no valid UTF-8: a stray or missing continuation
// byte, an overlong form, a surrogate or a value above 0x10FFFF.
size_t DecodeUtf8(const char* bytes, size_t length, uint32_t* codePoint);

// Whole texts into fixed buffers, terminated. False (and an empty output)
// when the text cannot be converted or does not fit.
bool WideToUtf8(const wchar_t* text, char* out, size_t capacity);
bool Utf8ToWide(const char* text, wchar_t* out, size_t capacity);

// File names on Linux are bytes and need not be UTF-8. As wide text, each
// byte that is no part of valid UTF-8 stands as U+DC80..U+DCFF (the byte
// plus 0xDC00), so a name comes back byte for byte. False (and an empty
// output) when the result does not fit.
bool PathBytesToWide(const char* bytes, wchar_t* out, size_t capacity);
bool WidePathToBytes(const wchar_t* text, char* out, size_t capacity);

#endif
