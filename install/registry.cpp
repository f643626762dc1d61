#include "install/registry.h"

#include "base/platform.h"
#include "base/text_utils.h"
#include "install/setup_state.h"

#include <windows.h>

#define OV_MAKER_KEY L"Software\\Orvanex"

// Reads a string value into `out`, always terminated inside it: the stored
// data may lack its terminator or have an odd byte count.
static void ReadStringValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, wchar_t* out, size_t capacity)
{
    out[0] = 0;
    HKEY key;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD type = 0;
    DWORD bytes = DWORD(capacity * sizeof(wchar_t));
    if (RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(out), &bytes) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        size_t characters = bytes / sizeof(wchar_t);
        out[characters < capacity ? characters : capacity - 1] = 0;
    } else {
        out[0] = 0;
    }
    RegCloseKey(key);
}

static void SetStringValue(HKEY key, const wchar_t* name, const wchar_t* text)
{
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   DWORD((TextLength(text) + 1) * sizeof(wchar_t)));
}

void ReadProgramFilesDir(wchar_t* out, size_t capacity)
{
    ReadStringValue(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir", out,
                    capacity);
}

void GetDefaultDestination(wchar_t* out, size_t capacity)
{
    out[0] = 0;
    if (setupState->productId[0]) {
        wchar_t valueName[4];
        AnsiToWide(setupState->productId, valueName, 4);
        ReadStringValue(HKEY_CURRENT_USER, OV_MAKER_KEY, valueName, out, capacity);
        if (out[0])
            return;
    }
    ReadProgramFilesDir(out, capacity);
    if (!out[0]) {
        DWORD n = GetEnvironmentVariableW(L"ProgramFiles", out, DWORD(capacity));
        if (n == 0 || n >= capacity)
            out[0] = 0;
    }
    if (!out[0]) {
        wchar_t windows[kPathCapacity];
        UINT n = GetWindowsDirectoryW(windows, kPathCapacity);
        if (n > 0 && n < kPathCapacity) {
            CutToParentFolder(windows);
            CopyTextBounded(windows, out, capacity);
            EnsureSeparator(out, capacity);
            size_t base = TextLength(out);
            AppendText(L"Programme", out, capacity);
            if (PathMissing(out)) {
                out[base < capacity ? base : capacity - 1] = 0;
                AppendText(L"Program Files", out, capacity);
            }
        }
    }
    if (out[0]) {
        EnsureSeparator(out, capacity);
        AppendAnsi(setupState->group, out, capacity);
    }
}

void RememberDestination(const wchar_t* destination)
{
    if (!setupState->productId[0] || !destination[0])
        return;
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, OV_MAKER_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    wchar_t valueName[4];
    AnsiToWide(setupState->productId, valueName, 4);
    SetStringValue(key, valueName, destination);
    RegCloseKey(key);
}

void WriteUninstallEntry(const wchar_t* uninstallCommand)
{
    wchar_t group[32];
    AnsiToWide(setupState->group, group, 32);
    // Without a group the key path would name the system's Uninstall key
    // itself, whose values belong to no product.
    if (!group[0])
        return;
    wchar_t keyPath[512];
    CopyTextBounded(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\", keyPath, 512);
    AppendText(group, keyPath, 512);
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    SetStringValue(key, L"DisplayName", group);
    SetStringValue(key, L"UninstallString", uninstallCommand);
    SetStringValue(key, L"Publisher", L"Orvanex");
    RegCloseKey(key);
}
