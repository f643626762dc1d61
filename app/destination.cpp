#include "app/destination.h"

#include "base/platform.h"
#include "base/text_utils.h"
#include "install/registry.h"
#include "install/scan_entries.h"
#include "install/shortcuts.h"
#include "resources/resource_ids.h"

#include <shlobj.h>

void FillDestinationAndOptions(HWND dialog)
{
    wchar_t destination[kPathCapacity];
    GetDefaultDestination(destination, kPathCapacity);
    SetDlgItemTextW(dialog, IDC_DESTINATION_EDIT, destination);
    if (!PathMissing(destination)) {
        PreselectInstalledLanguages(dialog, destination);
        return;
    }
    CheckDlgButton(dialog, IDC_PROGRAM_GROUP_BOX, BST_CHECKED);
    CheckDlgButton(dialog, IDC_DESKTOP_BOX, BST_CHECKED);
    if (QuickLaunchFolderExists())
        CheckDlgButton(dialog, IDC_QUICK_LAUNCH_BOX, BST_CHECKED);
    else
        ShowWindow(GetDlgItem(dialog, IDC_QUICK_LAUNCH_BOX), SW_HIDE);
}

static int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM preselected)
{
    if (message == BFFM_INITIALIZED && preselected)
        SendMessageW(browser, BFFM_SETSELECTIONW, FALSE, preselected);
    return 0;
}

void BrowseForDestination(HWND dialog, int editId)
{
    wchar_t path[kPathCapacity];
    GetDlgItemTextW(dialog, editId, path, kPathCapacity);
    BROWSEINFOW info = {};
    info.hwndOwner = dialog;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseCallback;

    IMalloc* allocator = nullptr;
    IShellFolder* desktop = nullptr;
    LPITEMIDLIST start = nullptr;
    if (path[0] && SUCCEEDED(SHGetMalloc(&allocator)) && SUCCEEDED(SHGetDesktopFolder(&desktop))) {
        MakeFullPath(path);
        if (FAILED(desktop->ParseDisplayName(dialog, nullptr, path, nullptr, &start, nullptr))) {
            start = nullptr;
            CutToParentFolder(path);
            if (FAILED(desktop->ParseDisplayName(dialog, nullptr, path, nullptr, &start, nullptr)))
                start = nullptr;
        }
        desktop->Release();
    }
    info.lParam = reinterpret_cast<LPARAM>(start);
    LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
    if (chosen) {
        wchar_t folder[kPathCapacity];
        if (SHGetPathFromIDListW(chosen, folder))
            SetDlgItemTextW(dialog, editId, folder);
    }
    if (!allocator)
        SHGetMalloc(&allocator);
    if (allocator) {
        if (chosen)
            allocator->Free(chosen);
        if (start)
            allocator->Free(start);
        allocator->Release();
    }
}
