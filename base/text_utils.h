// Bounded text and path operations on fixed-size buffers.
//
// Every text of the setup lives in a fixed array. These operations never
// write past the capacity they are given and always leave a terminated text
// when they write at all. Wide text is `wchar_t` everywhere: UTF-16 on
// Windows, and the same code points held in 32-bit units on Linux, so the
// payload reader and the packer build unchanged on both. 8-bit text is in
// the system's ANSI code page (Windows-1252 on Linux, where the tools stand
// in for the target machines).
#ifndef OV_BASE_TEXT_UTILS_H
#define OV_BASE_TEXT_UTILS_H

#include <stddef.h>

// Paths are handled in buffers of this many characters, terminator included.
enum { kPathCapacity = 260 };

bool IsPathSeparator(char c);
bool IsPathSeparator(wchar_t c);

size_t TextLength(const wchar_t* text);
size_t TextLength(const char* text);

// Empties `dest`, then copies at most capacity - 1 characters of `source`.
void CopyTextBounded(const wchar_t* source, wchar_t* dest, size_t capacity);
void CopyTextBounded(const char* source, char* dest, size_t capacity);

// Appends as much of `text` as fits; a full buffer is left as it is.
void AppendText(const wchar_t* text, wchar_t* buffer, size_t capacity);
void AppendText(const char* text, char* buffer, size_t capacity);

// Converts 8-bit ANSI text into `dest` (at most capacity - 1 characters) and
// sets dest[capacity - 1] to 0. Returns `dest` (null without one).
wchar_t* AnsiToWide(const char* source, wchar_t* dest, size_t capacity);

// Converts wide text to the ANSI code page, at most capacity - 1 bytes; the
// last byte of the buffer is set to 0. Unrepresentable characters become '?'.
void WideToAnsi(const wchar_t* source, char* dest, size_t capacity);

// Converts `text` with the ANSI code page and appends as much as fits.
void AppendAnsi(const char* text, wchar_t* buffer, size_t capacity);

// Plain case-sensitive substring search; null when absent.
const wchar_t* FindText(const wchar_t* text, const wchar_t* pattern);
const char* FindText(const char* text, const char* pattern);

// Appends "\" unless the buffer is empty or already ends in a separator.
void EnsureSeparator(wchar_t* buffer, size_t capacity);

// Appends `part` as a further path component: one leading separator of the
// part is dropped and exactly one "\" stands between the two.
void JoinPath(const wchar_t* part, wchar_t* buffer, size_t capacity);

// Index just after the last "\" or "/" (0 when there is none).
size_t FileNamePosition(const wchar_t* path);
size_t FileNamePosition(const char* path);

// The last component of a path with trailing separators ignored, and its
// length: "C:\Data\Tool\" gives "Tool", "C:\" gives "C:".
const wchar_t* LastComponent(const wchar_t* path, size_t* length);

// Cuts `path` at its last separator, keeping the root of "C:\"; a path
// without a separator becomes empty.
void CutToParentFolder(wchar_t* path);

// Compares without regard to ASCII case; true when equal.
bool EqualsNoCase(const wchar_t* a, const wchar_t* b);
bool EqualsNoCase(const char* a, const char* b);
bool EndsWithNoCase(const wchar_t* text, const wchar_t* suffix);

#endif
