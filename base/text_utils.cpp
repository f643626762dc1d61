#include "base/text_utils.h"

#include "base/platform.h"

bool IsPathSeparator(char c)
{
    return c == '\\' || c == '/';
}
bool IsPathSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

template <typename Char>
static size_t LengthOf(const Char* text)
{
    size_t n = 0;
    if (text)
        while (text[n])
            n++;
    return n;
}

size_t TextLength(const wchar_t* text)
{
    return LengthOf(text);
}
size_t TextLength(const char* text)
{
    return LengthOf(text);
}

template <typename Char>
static void AppendBounded(const Char* text, Char* buffer, size_t capacity)
{
    if (!buffer || capacity == 0)
        return;
    size_t used = LengthOf(buffer);
    if (used >= capacity) {
        // Not terminated within its capacity: terminate at the end.
        buffer[capacity - 1] = 0;
        return;
    }
    if (text)
        while (*text && used + 1 < capacity)
            buffer[used++] = *text++;
    buffer[used] = 0;
}

template <typename Char>
static void CopyBounded(const Char* source, Char* dest, size_t capacity)
{
    if (!dest)
        return;
    if (capacity == 0)
        return;
    dest[0] = 0;
    AppendBounded(source, dest, capacity);
}

void CopyTextBounded(const wchar_t* source, wchar_t* dest, size_t capacity)
{
    CopyBounded(source, dest, capacity);
}
void CopyTextBounded(const char* source, char* dest, size_t capacity)
{
    CopyBounded(source, dest, capacity);
}
void AppendText(const wchar_t* text, wchar_t* buffer, size_t capacity)
{
    AppendBounded(text, buffer, capacity);
}
void AppendText(const char* text, char* buffer, size_t capacity)
{
    AppendBounded(text, buffer, capacity);
}

wchar_t* AnsiToWide(const char* source, wchar_t* dest, size_t capacity)
{
    if (!dest)
        return nullptr;
    if (capacity == 0)
        return dest;
    dest[0] = 0;
    if (source) {
        size_t n = PlatformAnsiToWide(source, LengthOf(source), dest, capacity - 1);
        dest[n] = 0;
    }
    dest[capacity - 1] = 0;
    return dest;
}

void WideToAnsi(const wchar_t* source, char* dest, size_t capacity)
{
    if (!dest || capacity == 0)
        return;
    dest[0] = 0;
    if (source) {
        size_t n = PlatformWideToAnsi(source, LengthOf(source), dest, capacity - 1);
        dest[n] = 0;
    }
    dest[capacity - 1] = 0;
}

void AppendAnsi(const char* text, wchar_t* buffer, size_t capacity)
{
    if (!buffer || capacity == 0 || !text)
        return;
    size_t used = LengthOf(buffer);
    if (used + 1 >= capacity)
        return;
    AnsiToWide(text, buffer + used, capacity - used);
}

template <typename Char>
static const Char* FindIn(const Char* text, const Char* pattern)
{
    if (!text || !pattern)
        return nullptr;
    if (!*pattern)
        return text;
    for (; *text; text++) {
        size_t i = 0;
        while (pattern[i] && text[i] == pattern[i])
            i++;
        if (!pattern[i])
            return text;
    }
    return nullptr;
}

const wchar_t* FindText(const wchar_t* text, const wchar_t* pattern)
{
    return FindIn(text, pattern);
}
const char* FindText(const char* text, const char* pattern)
{
    return FindIn(text, pattern);
}

void EnsureSeparator(wchar_t* buffer, size_t capacity)
{
    size_t used = LengthOf(buffer);
    if (used > 0 && !IsPathSeparator(buffer[used - 1]))
        AppendBounded(L"\\", buffer, capacity);
}

void JoinPath(const wchar_t* part, wchar_t* buffer, size_t capacity)
{
    if (!part || !*part || !buffer)
        return;
    if (IsPathSeparator(*part))
        part++;
    EnsureSeparator(buffer, capacity);
    AppendBounded(part, buffer, capacity);
}

template <typename Char>
static size_t NamePosition(const Char* path)
{
    size_t pos = 0;
    for (size_t i = 0; path && path[i]; i++)
        if (IsPathSeparator(path[i]))
            pos = i + 1;
    return pos;
}

size_t FileNamePosition(const wchar_t* path)
{
    return NamePosition(path);
}
size_t FileNamePosition(const char* path)
{
    return NamePosition(path);
}

const wchar_t* LastComponent(const wchar_t* path, size_t* length)
{
    size_t end = LengthOf(path);
    while (end > 0 && IsPathSeparator(path[end - 1]))
        end--;
    size_t start = end;
    while (start > 0 && !IsPathSeparator(path[start - 1]))
        start--;
    *length = end - start;
    return path + start;
}

void CutToParentFolder(wchar_t* path)
{
    if (!path)
        return;
    size_t pos = NamePosition(path);
    if (pos == 0) {
        path[0] = 0;
        return;
    }
    size_t sep = pos - 1;
    // "C:\..." keeps its separator, so the parent of a drive's folder is the root.
    if (sep == 2 && path[1] == L':')
        path[3] = 0;
    else
        path[sep] = 0;
}

template <typename Char>
static Char AsciiUpper(Char c)
{
    return (c >= 'a' && c <= 'z') ? Char(c - 'a' + 'A') : c;
}

template <typename Char>
static bool EqualNoCase(const Char* a, const Char* b)
{
    if (!a || !b)
        return a == b;
    while (*a && AsciiUpper(*a) == AsciiUpper(*b)) {
        a++;
        b++;
    }
    return AsciiUpper(*a) == AsciiUpper(*b);
}

bool EqualsNoCase(const wchar_t* a, const wchar_t* b)
{
    return EqualNoCase(a, b);
}
bool EqualsNoCase(const char* a, const char* b)
{
    return EqualNoCase(a, b);
}

bool EndsWithNoCase(const wchar_t* text, const wchar_t* suffix)
{
    size_t n = LengthOf(text), k = LengthOf(suffix);
    return k <= n && EqualNoCase(text + n - k, suffix);
}
