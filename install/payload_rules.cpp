#include "install/payload_rules.h"

#include "base/text_utils.h"

#include <string.h>
#include <wchar.h>

EntryKind EntryKindOf(const wchar_t* name)
{
    if (TextLength(name) < 5)
        return kEntryOther;
    if (EqualsNoCase(name, L"FILE_ID.DIZ"))
        return kEntryDescription;
    if (EndsWithNoCase(name, L".INF"))
        return kEntryScript;
    if (EndsWithNoCase(name, L".LNG"))
        return kEntryLanguage;
    return kEntryOther;
}

void TakeLanguagePrefix(const wchar_t* entryName, wchar_t* lngPrefix, size_t capacity)
{
    if (capacity == 0 || lngPrefix[0] != 0)
        return;
    CopyTextBounded(entryName + FileNamePosition(entryName), lngPrefix, capacity < 32 ? capacity : 32);
    size_t n = TextLength(lngPrefix);
    if (n > 7)
        lngPrefix[n - 7] = 0;
}

void ReadScriptValue(const char* text, const char* key, char* field, size_t capacity)
{
    const char* at = FindText(text, key);
    if (!at || !field || capacity == 0)
        return;
    const char* value = at + TextLength(key);
    if (*value != '=')
        return;
    AppendText(value + 1, field, capacity);
    if (char* cr = strchr(field, '\r'))
        *cr = 0;
    if (char* lf = strchr(field, '\n'))
        *lf = 0;
}

void ReadProductTitle(const char* text, char* product, size_t productCapacity, char* version, size_t versionCapacity)
{
    char line[kLanguageScanLength + 1];
    CopyTextBounded(text, line, sizeof line);
    product[0] = 0;
    version[0] = 0;
    size_t end = 0;
    while (line[end] && !strchr("\n\r([", line[end]))
        end++;
    if (end == 0)
        return;
    if (line[end - 1] == ' ')
        end--;
    line[end] = 0;
    const char* separator = FindText(line, " Version ");
    if (!separator) {
        CopyTextBounded(line, product, productCapacity);
        return;
    }
    CopyTextBounded(separator + 9, version, versionCapacity);
    line[separator - line] = 0;
    CopyTextBounded(line, product, productCapacity);
}

bool ReadLanguageName(const uint8_t* data, uint32_t size, wchar_t* name, size_t capacity)
{
    wchar_t text[kLanguageScanLength + 1];
    size_t n = 0;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        for (uint32_t i = 2; i + 1 < size && n < kLanguageScanLength; i += 2)
            text[n++] = wchar_t(data[i] | (data[i + 1] << 8));
        text[n] = 0;
    } else {
        char ansi[kLanguageScanLength + 1];
        n = size < uint32_t(kLanguageScanLength) ? size : size_t(kLanguageScanLength);
        memcpy(ansi, data, n);
        ansi[n] = 0;
        AnsiToWide(ansi, text, kLanguageScanLength + 1);
    }
    if (capacity > 0)
        name[0] = 0;
    if (text[0] != L'[')
        return false;
    const wchar_t* at = FindText(text, L"Language");
    // The character after "Language" is skipped whatever it is; there must
    // be one, or the name would start beyond the text.
    if (!at || at[8] == 0)
        return false;
    const wchar_t* start = at + 9;
    size_t length = 0;
    while (start[length] && !wcschr(L"(=\r\n", start[length]))
        length++;
    if (length == 0 || capacity == 0)
        return false;
    if (length > capacity - 1)
        length = capacity - 1;
    memcpy(name, start, length * sizeof(wchar_t));
    name[length] = 0;
    return true;
}

uint32_t LanguageTag(const wchar_t* code, size_t length)
{
    wchar_t letters[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < length && i < 3; i++)
        letters[i] = code[i];
    char bytes[4];
    WideToAnsi(letters, bytes, sizeof bytes);
    uint32_t tag = 0;
    for (int i = 2; i >= 0; i--) {
        unsigned char c = (unsigned char)bytes[i];
        if (c >= 'a' && c <= 'z')
            c = (unsigned char)(c - 'a' + 'A');
        tag = (tag << 8) | c;
    }
    return tag;
}

uint32_t LanguageFileTag(const wchar_t* entryName)
{
    size_t n = TextLength(entryName);
    if (n < 6)
        return 0;
    return LanguageTag(entryName + n - 6, 2);
}

void LanguageFilePath(const wchar_t* folder, const wchar_t* lngPrefix, uint32_t tag, wchar_t* out, size_t capacity)
{
    char code[4] = {char(tag & 0xFF), char((tag >> 8) & 0xFF), char((tag >> 16) & 0xFF), 0};
    CopyTextBounded(folder, out, capacity);
    EnsureSeparator(out, capacity);
    AppendText(lngPrefix, out, capacity);
    AppendText(L"_", out, capacity);
    AppendAnsi(code, out, capacity);
    AppendText(L".LNG", out, capacity);
}
