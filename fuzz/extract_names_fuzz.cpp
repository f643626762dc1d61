// mksetup extract's name check (SplitSafeName) on any name: 8-bit
// characters, or 16-bit ones when the first byte is odd. When it accepts, no
// part may be empty, "." or "..", hold a separator or ':', or be a name
// Windows opens as a device: CON, PRN, AUX, NUL, COM1-9 and LPT1-9 (also
// with the superscript digits 1, 2, 3 of Windows-1252) in any case, with
// trailing blanks and any extension.
#include "tools/mksetup/safe_names.h"

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static bool OpensDevice(std::wstring s)
{
    s = s.substr(0, s.find(L'.'));
    s.erase(s.find_last_not_of(L' ') + 1);
    for (wchar_t& c : s)
        c = c >= L'a' && c <= L'z' ? wchar_t(c - L'a' + L'A') : c;
    std::wstring base = s.substr(0, 3);
    if (s.size() == 3)
        return base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL";
    return s.size() == 4 && s[3] && wcschr(L"123456789\u00B9\u00B2\u00B3", s[3]) && (base == L"COM" || base == L"LPT");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring name;
    bool wide = size && (data[0] & 1);
    for (size_t i = 1; i + wide < size; i += 1 + wide)
        name.push_back(wchar_t(data[i] | (wide ? data[i + 1] << 8 : 0)));
    std::vector<std::wstring> parts;
    std::string why;
    if (!SplitSafeName(name, &parts, &why))
        return 0;
    if (parts.empty())
        abort();
    for (size_t i = 0; i < parts.size(); i++) {
        const std::wstring& p = parts[i];
        if (p.empty() || p == L"." || p == L".." || p.find_first_of(L"\\/:") != p.npos || OpensDevice(p)) {
            fprintf(stderr, "accepted part %zu, which may not be written\n", i);
            abort();
        }
    }
    return 0;
}
