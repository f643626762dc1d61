#include "tools/mksetup/tool_text.h"

#include "base/text_utils.h"
#include "base/utf8.h"

#include <cstdio>

std::string Utf8Of(const std::wstring& wide)
{
    std::string out;
    for (size_t i = 0; i < wide.size();) {
        char piece[4];
        out.append(piece, EncodeUtf8(NextWideCodePoint(wide.data(), wide.size(), &i), piece));
    }
    return out;
}

std::wstring WideOf(const std::string& utf8)
{
    std::wstring out;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = 0xFFFD;
        size_t k = DecodeUtf8(utf8.data() + i, utf8.size() - i, &c);
        i += k ? k : 1;
        wchar_t units[2];
        out.append(units, PutWideCodePoint(c, units));
    }
    return out;
}

std::string DisplayName(const char* ansiName)
{
    wchar_t wide[kPathCapacity];
    AnsiToWide(ansiName, wide, kPathCapacity);
    return Utf8Of(wide);
}

std::string Printable(const std::string& utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size(); i++) {
        unsigned char c = (unsigned char)utf8[i];
        // C1 controls are U+0080..U+009F, in UTF-8 0xC2 0x80..0x9F.
        bool c1 =
            c == 0xC2 && i + 1 < utf8.size() && (unsigned char)utf8[i + 1] < 0xA0 && (unsigned char)utf8[i + 1] >= 0x80;
        if (c < 0x20 || c == 0x7F || c1) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c1 ? (unsigned char)utf8[++i] : c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string Quote(const std::wstring& name)
{
    return "'" + Printable(Utf8Of(name)) + "'";
}

std::string Grouped(uint64_t n)
{
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::wstring FoldCase(const std::wstring& text)
{
    std::wstring out = text;
    for (wchar_t& c : out) {
        if (c >= L'a' && c <= L'z')
            c = wchar_t(c - 32);
        else if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
            c = wchar_t(c - 32);
        else if (c == 0xFF)
            c = 0x178;
        else if (c == 0x161 || c == 0x153 || c == 0x17E)
            c = wchar_t(c - 1);
    }
    return out;
}
