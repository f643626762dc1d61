#include "install/entry_rules.h"

#include "base/file_names.h"
#include "base/text_utils.h"
#include "install/payload_rules.h"

uint32_t LanguageTagOfEntry(const wchar_t* entryName, const wchar_t* lngPrefix)
{
    const wchar_t* examined = entryName;
    for (const wchar_t* p = entryName; *p; p++) {
        if (*p == L'\\') {
            examined = p + 1;
            break;
        }
    }
    size_t k = TextLength(lngPrefix);
    if (TextLength(examined) <= k || examined[k] != L'_')
        return 0;
    const wchar_t* code = examined + k + 1;
    size_t length = 0;
    while (code[length] && code[length] != L'.')
        length++;
    if (length == 0 || length >= 5)
        return 0;
    return LanguageTag(code, length);
}

EntryRole EntryRoleOf(const wchar_t* fileName)
{
    static const struct {
        const wchar_t* name;
        EntryRole role;
    } kNamed[] = {
        {L"LICENSE.TXT", kRoleLicense},
        {L"ORDER.HTM", kRoleOrder},
        {L"BESTELL.HTM", kRoleOrderGerman},
        {L"UnInst.exe", kRoleUninstaller},
    };
    for (const auto& named : kNamed)
        if (EqualsNoCase(fileName, named.name))
            return named.role;
    if (TextLength(fileName) <= 4)
        return kRoleOther;
    if (EndsWithNoCase(fileName, L".INF"))
        return kRoleScript;
    wchar_t first = fileName[0];
    if ((first == OV_MAKER_PREFIX[0] || first == OV_MAKER_PREFIX[0] + (L'a' - L'A')) &&
        EndsWithNoCase(fileName, L".EXE"))
        return kRoleProgram;
    return kRoleOther;
}

bool IsSafeFileName(const wchar_t* fileName)
{
    size_t n = TextLength(fileName);
    if (n == 0 || EqualsNoCase(fileName, L".") || EqualsNoCase(fileName, L".."))
        return false;
    for (size_t i = 0; i < n; i++)
        if (fileName[i] == L':')
            return false;
    return !IsDeviceName(fileName, n);
}

bool FlatTargetPath(const wchar_t* destination, const wchar_t* entryName, wchar_t* out, size_t capacity)
{
    const wchar_t* fileName = entryName + FileNamePosition(entryName);
    CopyTextBounded(destination, out, capacity);
    EnsureSeparator(out, capacity);
    size_t need = TextLength(out) + TextLength(fileName);
    AppendText(fileName, out, capacity);
    return need < capacity;
}
