// The setup's payload and entry rules, called as scan_entries.cpp and
// install_entries.cpp call them, into buffers of the setup's own sizes: an
// entry name, a first language file's name and a destination (16-bit
// characters, at most 259 each), then the entry's bytes with the pass's
// zero behind them. Every text must end within its buffer, and a name taken
// as safe must land directly in the destination.
#include <fuzzer/FuzzedDataProvider.h>

#include "base/text_utils.h"
#include "install/entry_rules.h"
#include "install/payload_rules.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define CHECK(x) ((x) ? (void)0 : (fprintf(stderr, "failed: %s\n", #x), abort()))

static void TakeName(FuzzedDataProvider& in, wchar_t* name)
{
    std::string bytes = in.ConsumeRandomLengthString(2 * 259);
    for (size_t i = 0; i < bytes.size() / 2; i++)
        name[i] = wchar_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
    name[bytes.size() / 2] = 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    wchar_t name[kPathCapacity], first[kPathCapacity], destination[260], prefix[kNameFieldCapacity] = {0};
    TakeName(in, name), TakeName(in, first), TakeName(in, destination);
    std::string text = in.ConsumeRemainingBytesAsString();
    for (const wchar_t* entry : {first, name})
        if (EntryKindOf(entry) == kEntryLanguage)
            TakeLanguagePrefix(entry, prefix, kNameFieldCapacity);
    char id[kProductIdCapacity] = {0}, group[32] = {0}, windowClass[32] = {0}, exe[32] = {0};
    for (int script = 0; script < 2; script++) { // a second script appends
        ReadScriptValue(text.c_str(), "ID", id, sizeof id);
        ReadScriptValue(text.c_str(), "Group", group, sizeof group);
        ReadScriptValue(text.c_str(), "Class", windowClass, sizeof windowClass);
        ReadScriptValue(text.c_str(), "Exe", exe, sizeof exe);
    }
    char product[kProductNameCapacity], version[kVersionCapacity];
    ReadProductTitle(text.c_str(), product, sizeof product, version, sizeof version);
    wchar_t display[kPathCapacity], path[kPathCapacity], target[kPathCapacity];
    if (ReadLanguageName(reinterpret_cast<const uint8_t*>(text.c_str()), uint32_t(text.size()), display, kPathCapacity))
        CHECK(display[0] && wcslen(display) < kPathCapacity && !wcspbrk(display, L"(=\r\n"));
    LanguageFilePath(destination, prefix, LanguageFileTag(name) | LanguageTagOfEntry(name, prefix), path,
                     kPathCapacity);
    CHECK(wcslen(prefix) < kNameFieldCapacity && strlen(id) < sizeof id && strlen(group) < 32 &&
          strlen(windowClass) < 32 && strlen(exe) < 32 && strlen(product) < sizeof product &&
          strlen(version) < sizeof version && wcslen(path) < kPathCapacity);

    const wchar_t* fileName = name + FileNamePosition(name);
    EntryRoleOf(fileName);
    bool fits = FlatTargetPath(destination, name, target, kPathCapacity);
    CHECK(wcslen(target) < kPathCapacity);
    if (!IsSafeFileName(fileName))
        return 0;
    CHECK(fileName[0] && !wcschr(fileName, L':') && wcscmp(fileName, L".") && wcscmp(fileName, L".."));
    size_t n = wcslen(destination);
    n += n && !IsPathSeparator(destination[n - 1]);
    CHECK(!fits || (wcsncmp(target, destination, wcslen(destination)) == 0 && (!n || IsPathSeparator(target[n - 1])) &&
                    wcscmp(target + n, fileName) == 0));
    return 0;
}
