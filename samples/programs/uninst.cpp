// The sample product's uninstaller (UnInst.exe): lists the files of the
// folder it was installed into and, when the user agrees, deletes them and
// the product's uninstall entry. The setup installs everything flat into one
// folder, so that folder's files are the product.
#include <windows.h>

// The setup names the uninstall entry after the program group, which comes
// from the product name in FILE_ID.DIZ.
static const wchar_t kProduct[] = L"Orvanex Demo";
static const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvanex Demo";

enum { kListCapacity = 2048 };

static wchar_t folder[MAX_PATH];
static wchar_t self[MAX_PATH];

static void Append(wchar_t* buffer, int capacity, const wchar_t* text)
{
    int used = lstrlenW(buffer);
    int add = lstrlenW(text);
    if (used + add < capacity)
        lstrcatW(buffer, text);
}

// Calls `visit` for every plain file of the folder except this program.
template <typename Visit>
static void ForEachFile(Visit visit)
{
    wchar_t pattern[MAX_PATH];
    lstrcpyW(pattern, folder);
    Append(pattern, MAX_PATH, L"*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        wchar_t path[MAX_PATH];
        lstrcpyW(path, folder);
        Append(path, MAX_PATH, found.cFileName);
        if (lstrcmpiW(path, self) != 0)
            visit(found.cFileName, path);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 1;
    lstrcpyW(folder, self);
    while (n > 0 && folder[n - 1] != L'\\')
        n--;
    folder[n] = 0;

    static wchar_t question[kListCapacity];
    lstrcpyW(question, L"Remove ");
    Append(question, kListCapacity, kProduct);
    Append(question, kListCapacity, L" from\n");
    Append(question, kListCapacity, folder);
    Append(question, kListCapacity, L"?\n\nThese files will be deleted:\n");
    int count = 0;
    ForEachFile([&](const wchar_t* name, const wchar_t*) {
        if (++count <= 20) {
            Append(question, kListCapacity, L"  ");
            Append(question, kListCapacity, name);
            Append(question, kListCapacity, L"\n");
        }
    });
    if (count > 20)
        Append(question, kListCapacity, L"  ...\n");
    if (MessageBoxW(nullptr, question, kProduct, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;

    int failed = 0;
    ForEachFile([&](const wchar_t*, const wchar_t* path) {
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(path))
            failed++;
    });
    // A running program cannot delete itself; Windows removes it and the
    // then empty folder at the next start (this needs administrator rights,
    // which the setup had; a failure leaves the two behind).
    MoveFileExW(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExW(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);

    MessageBoxW(nullptr,
                failed ? L"Some files could not be deleted; they may be in use." : L"Orvanex Demo was removed.",
                kProduct, MB_OK | (failed ? MB_ICONWARNING : MB_ICONINFORMATION));
    return 0;
}
