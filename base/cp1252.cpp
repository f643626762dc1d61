#include "base/cp1252.h"

// Code points for bytes 0x80..0x9F. The five bytes that the code page leaves
// undefined map to the same C1 control code points, as Windows converts them.
static const wchar_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

wchar_t Cp1252ToWide(unsigned char b)
{
    return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : wchar_t(b);
}

int WideToCp1252(wchar_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (int i = 0; i < 32; i++)
        if (kCp1252High[i] == c)
            return 0x80 + i;
    return -1;
}

void Cp1252TextToWide(const char* source, wchar_t* dest, size_t capacity)
{
    if (!dest || capacity == 0)
        return;
    size_t n = 0;
    for (; source && source[n] && n + 1 < capacity; n++)
        dest[n] = Cp1252ToWide((unsigned char)source[n]);
    dest[n] = 0;
}
