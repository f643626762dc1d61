#include "install/shortcuts.h"

#include "base/text_utils.h"
#include "install/folders.h"
#include "install/install_entries.h"
#include "install/setup_state.h"

#include <objbase.h>
#include <shlobj.h>

enum { kLinkPathCapacity = 512 };

// Our own copies: the system's uuid library brings every identifier it
// knows into the program.
static const CLSID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID kIidShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

void GetSpecialFolderPath(int csidl, wchar_t* out)
{
    out[0] = 0;
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list)
        return;
    if (!SHGetPathFromIDListW(list, out))
        out[0] = 0;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(list);
        allocator->Release();
    }
}

void GetQuickLaunchFolder(wchar_t* out, size_t capacity)
{
    wchar_t appData[kPathCapacity];
    GetSpecialFolderPath(CSIDL_APPDATA, appData);
    CopyTextBounded(appData, out, capacity);
    if (out[0])
        AppendText(L"\\Microsoft\\Internet Explorer\\Quick Launch", out, capacity);
}

bool QuickLaunchFolderExists()
{
    wchar_t folder[kPathCapacity];
    GetQuickLaunchFolder(folder, kPathCapacity);
    return folder[0] && GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES;
}

HRESULT CreateShellLink(const wchar_t* linkPath, const wchar_t* target, const wchar_t* workingFolder)
{
    IShellLinkW* link = nullptr;
    HRESULT result = CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkW,
                                      reinterpret_cast<void**>(&link));
    if (FAILED(result))
        return result;
    link->SetPath(target);
    link->SetWorkingDirectory(workingFolder);
    link->SetShowCmd(SW_SHOW);
    IPersistFile* file = nullptr;
    result = link->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(result)) {
        wchar_t path[kLinkPathCapacity];
        CopyTextBounded(linkPath, path, kLinkPathCapacity);
        result = file->Save(path, TRUE);
        file->Release();
    }
    link->Release();
    return result;
}

static void CreateIconLink(const wchar_t* folder, const wchar_t* target, const wchar_t* name)
{
    if (!folder[0])
        return;
    wchar_t linkPath[kLinkPathCapacity];
    CopyTextBounded(folder, linkPath, kLinkPathCapacity);
    JoinPath(name, linkPath, kLinkPathCapacity);
    AppendText(L".lnk", linkPath, kLinkPathCapacity);
    wchar_t working[kLinkPathCapacity];
    CopyTextBounded(target, working, kLinkPathCapacity);
    CutToParentFolder(working);
    CreateShellLink(linkPath, target, working);
}

void CreateDesktopLink(const wchar_t* target, const wchar_t* name)
{
    wchar_t desktop[kPathCapacity];
    GetSpecialFolderPath(CSIDL_DESKTOP, desktop);
    CreateIconLink(desktop, target, name);
}

void CreateQuickLaunchLink(const wchar_t* target, const wchar_t* name)
{
    wchar_t folder[kLinkPathCapacity];
    GetQuickLaunchFolder(folder, kLinkPathCapacity);
    CreateIconLink(folder, target, name);
}

void CreateGroupLink(const wchar_t* name, const wchar_t* destination, const wchar_t* fileName,
                     const wchar_t* groupFolder)
{
    if (!name || !name[0] || !fileName || !fileName[0])
        return;
    wchar_t target[kLinkPathCapacity], linkPath[kLinkPathCapacity];
    CopyTextBounded(destination, target, kLinkPathCapacity);
    JoinPath(fileName, target, kLinkPathCapacity);
    CopyTextBounded(groupFolder, linkPath, kLinkPathCapacity);
    JoinPath(name, linkPath, kLinkPathCapacity);
    AppendText(L".lnk", linkPath, kLinkPathCapacity);
    CreateShellLink(linkPath, target, destination);
}

void CreateProgramGroup(HWND dialog, const InstallRun* run)
{
    wchar_t programs[kPathCapacity];
    GetSpecialFolderPath(CSIDL_COMMON_PROGRAMS, programs);
    if (!programs[0])
        GetSpecialFolderPath(CSIDL_PROGRAMS, programs);
    if (!programs[0])
        return;
    wchar_t group[32];
    AnsiToWide(setupState->group, group, 32);
    wchar_t groupFolder[256];
    CopyTextBounded(run->tempFolder[0] ? run->tempFolder : programs, groupFolder, 256);
    JoinPath(group, groupFolder, 256);
    if (CreateDirectoryTree(groupFolder) != 0)
        return;
    CreateGroupLink(group, run->destination, run->mainProgram, groupFolder);
    CreateGroupLink(L"Uninstall", run->destination, run->uninstaller, groupFolder);
    CreateGroupLink(L"License", run->destination, run->licenseText, groupFolder);
    CreateGroupLink(L"Order", run->destination, run->orderPage, groupFolder);
    if (run->germanInstalled)
        CreateGroupLink(L"Bestellung", run->destination, run->orderPageGerman, groupFolder);
    if (run->tempFolder[0])
        ShellMove(dialog, groupFolder, programs);
}
