#include "base/utf8.h"

#include <string.h>

static const bool kWideIs16Bits = sizeof(wchar_t) == 2;

uint32_t NextWideCodePoint(const wchar_t* text, size_t length, size_t* pos)
{
    uint32_t c = uint32_t(text[*pos]);
    (*pos)++;
    if (kWideIs16Bits && c >= 0xD800 && c < 0xDC00 && *pos < length) {
        uint32_t low = uint32_t(text[*pos]);
        if (low >= 0xDC00 && low < 0xE000) {
            (*pos)++;
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return c;
}

size_t PutWideCodePoint(uint32_t codePoint, wchar_t* out)
{
    if (kWideIs16Bits && codePoint >= 0x10000) {
        codePoint -= 0x10000;
        out[0] = wchar_t(0xD800 + (codePoint >> 10));
        out[1] = wchar_t(0xDC00 + (codePoint & 0x3FF));
        return 2;
    }
    out[0] = wchar_t(codePoint);
    return 1;
}

size_t EncodeUtf8(uint32_t c, char* out)
{
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    if (c < 0x110000) {
        out[0] = char(0xF0 | (c >> 18));
        out[1] = char(0x80 | ((c >> 12) & 0x3F));
        out[2] = char(0x80 | ((c >> 6) & 0x3F));
        out[3] = char(0x80 | (c & 0x3F));
        return 4;
    }
    return 0;
}

size_t DecodeUtf8(const char* bytes, size_t length, uint32_t* codePoint)
{
    if (length == 0)
        return 0;
    unsigned char b = (unsigned char)bytes[0];
    uint32_t c;
    size_t extra;
    if (b < 0x80) {
        c = b;
        extra = 0;
    } else if (b >= 0xC2 && b < 0xE0) {
        c = b & 0x1F;
        extra = 1;
    } else if (b >= 0xE0 && b < 0xF0) {
        c = b & 0x0F;
        extra = 2;
    } else if (b >= 0xF0 && b < 0xF5) {
        c = b & 0x07;
        extra = 3;
    } else {
        return 0;
    }
    if (extra >= length)
        return 0;
    for (size_t k = 1; k <= extra; k++) {
        unsigned char t = (unsigned char)bytes[k];
        if ((t & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (t & 0x3F);
    }
    if ((extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000) || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
        return 0;
    *codePoint = c;
    return extra + 1;
}

bool WideToUtf8(const wchar_t* text, char* out, size_t capacity)
{
    if (!out || capacity == 0)
        return false;
    size_t length = 0;
    while (text && text[length])
        length++;
    size_t o = 0;
    for (size_t i = 0; i < length;) {
        char piece[4];
        size_t k = EncodeUtf8(NextWideCodePoint(text, length, &i), piece);
        if (k == 0 || o + k >= capacity) {
            out[0] = 0;
            return false;
        }
        for (size_t j = 0; j < k; j++)
            out[o++] = piece[j];
    }
    out[o] = 0;
    return true;
}

bool Utf8ToWide(const char* text, wchar_t* out, size_t capacity)
{
    if (!out || capacity == 0)
        return false;
    size_t length = 0;
    while (text && text[length])
        length++;
    size_t o = 0;
    for (size_t i = 0; i < length;) {
        uint32_t c;
        size_t k = DecodeUtf8(text + i, length - i, &c);
        if (k == 0 || o + 2 >= capacity) {
            out[0] = 0;
            return false;
        }
        i += k;
        o += PutWideCodePoint(c, out + o);
    }
    out[o] = 0;
    return true;
}

bool PathBytesToWide(const char* bytes, wchar_t* out, size_t capacity)
{
    size_t n = 0, length = strlen(bytes);
    for (size_t i = 0; i < length;) {
        uint32_t c;
        size_t k = DecodeUtf8(bytes + i, length - i, &c);
        if (k == 0) {
            c = 0xDC00 + (unsigned char)bytes[i];
            k = 1;
        }
        wchar_t units[2];
        size_t m = PutWideCodePoint(c, units);
        if (n + m >= capacity) {
            out[0] = 0;
            return false;
        }
        for (size_t j = 0; j < m; j++)
            out[n++] = units[j];
        i += k;
    }
    out[n] = 0;
    return true;
}

bool WidePathToBytes(const wchar_t* text, char* out, size_t capacity)
{
    size_t n = 0, length = 0;
    while (text[length])
        length++;
    for (size_t i = 0; i < length;) {
        uint32_t c = NextWideCodePoint(text, length, &i);
        char piece[4];
        size_t k = 1;
        if (c >= 0xDC80 && c <= 0xDCFF)
            piece[0] = char(c - 0xDC00);
        else
            k = EncodeUtf8(c, piece);
        if (k == 0 || n + k >= capacity) {
            out[0] = 0;
            return false;
        }
        memcpy(out + n, piece, k);
        n += k;
    }
    out[n] = 0;
    return true;
}
