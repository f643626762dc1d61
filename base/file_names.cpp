#include "base/file_names.h"

static wchar_t Upper(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
}

bool IsDeviceName(const wchar_t* name, size_t length)
{
    size_t stem = 0;
    while (stem < length && name[stem] != L'.')
        stem++;
    while (stem > 0 && name[stem - 1] == L' ') // "NUL .txt" and "NUL " are NUL too
        stem--;
    wchar_t s[4];
    if (stem < 3 || stem > 4)
        return false;
    for (size_t i = 0; i < stem; i++)
        s[i] = Upper(name[i]);
    bool three = stem == 3;
    auto is = [&](const wchar_t* word) { return s[0] == word[0] && s[1] == word[1] && s[2] == word[2]; };
    if (three)
        return is(L"CON") || is(L"PRN") || is(L"AUX") || is(L"NUL");
    // Windows takes the superscript digits of Windows-1252 for port numbers.
    bool digit = (s[3] >= L'1' && s[3] <= L'9') || s[3] == 0xB9 || s[3] == 0xB2 || s[3] == 0xB3;
    return (is(L"COM") || is(L"LPT")) && digit;
}
