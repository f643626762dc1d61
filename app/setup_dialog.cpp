#include "app/setup_dialog.h"

#include "app/destination.h"
#include "app/install_run.h"
#include "app/setup_state.h"
#include "app/ui_language.h"
#include "archive/archive_pass.h"
#include "base/text_utils.h"
#include "install/component_list.h"
#include "install/scan_entries.h"

// Texts applied at initialisation: the caption, then the controls.
static const uint16_t kDialogTextIds[] = {
    kTextCaption,         kTextOk,         kTextCancel,         kTextDestinationLabel,
    kTextProgramGroupBox, kTextDesktopBox, kTextQuickLaunchBox, 0,
};

// True while an install run writes files: the dialog then pumps its messages
// to stay painted, but nothing may start a second run or end the dialog.
static bool installing = false;

static void CentreOnDesktop(HWND dialog)
{
    RECT desktop, own;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &own);
    // Halves rounded down, also when the dialog is larger than the desktop.
    auto half = [](LONG room) { return room >= 0 ? room / 2 : -((1 - room) / 2); };
    int x = half((desktop.right - desktop.left) - (own.right - own.left));
    int y = half((desktop.bottom - desktop.top) - (own.bottom - own.top));
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Sends WM_DESTROY to every top-level window of the product's class until
// none is left. Nothing waits for it.
static DWORD WINAPI CloseProductWindows(void*)
{
    // A window that stays after WM_DESTROY is asked again, but not in a
    // busy loop that would take a core from the setup.
    for (HWND last = nullptr; HWND window = FindWindowA(setupState->windowClass, nullptr); last = window) {
        if (window == last)
            Sleep(50);
        SendMessageW(window, WM_DESTROY, 0, 0);
    }
    return 0;
}

static void PrepareList(HWND list)
{
    wchar_t header[kMenuTextCapacity], english[30], german[30];
    LookupUiText(CurrentUiLanguage(), kTextLanguageColumn, header, kMenuTextCapacity);
    LookupUiText(CurrentUiLanguage(), kTextEnglishItem, english, 30);
    LookupUiText(CurrentUiLanguage(), kTextGermanItem, german, 30);
    const ListColumn columns[] = {{header, -1, 0}, {nullptr, 0, 0}};
    PrepareComponentList(list, columns, english, german);
}

void InitSetupDialog(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_COMPONENT_LIST);
    CentreOnDesktop(dialog);
    if (setupState)
        SetClassLongPtrW(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(setupState->icon));
    ApplyUiTexts(dialog, CurrentUiLanguage(), kDialogTextIds);
    if (!list || !setupState)
        return;
    PrepareList(list);
    int result = ArchivePass(setupState->setupPath, ScanEntryCallback, dialog);
    if (setupState->windowClass[0] == 0)
        CopyTextBounded(setupState->group, setupState->windowClass, sizeof setupState->windowClass);
    if (setupState->windowClass[0]) {
        HANDLE thread = CreateThread(nullptr, 0, CloseProductWindows, nullptr, 0, nullptr);
        if (thread)
            CloseHandle(thread);
    }
    FillDestinationAndOptions(dialog);
    if (result != kPassOk) {
        ShowMessageById(dialog, kTextBrokenFile, setupState->setupPath, MB_OK | MB_ICONSTOP);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
}

static void ShowListMenu(HWND dialog)
{
    POINT at;
    GetCursorPos(&at);
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    static const uint16_t kMenuIds[] = {kTextCheckAll, kTextUncheckAll, kTextInvert};
    for (uint16_t id : kMenuIds) {
        wchar_t text[kMenuTextCapacity];
        LookupUiText(CurrentUiLanguage(), id, text, kMenuTextCapacity);
        if (text[0])
            AppendMenuW(menu, MF_STRING, id, text);
    }
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, dialog, nullptr);
    DestroyMenu(menu);
}

static void OnOk(HWND dialog)
{
    installing = true;
    // Disabled, the dialog takes no clicks or keys while files are written,
    // but it keeps painting.
    EnableWindow(dialog, FALSE);
    int result = RunInstall(dialog);
    EnableWindow(dialog, TRUE);
    installing = false;
    if (result == 0)
        PostMessageW(dialog, WM_CLOSE, 0, 0);
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND list = GetDlgItem(dialog, IDC_COMPONENT_LIST);
    switch (message) {
    case WM_INITDIALOG:
        InitSetupDialog(dialog);
        break;
    case WM_COMMAND:
        if (installing)
            break;
        switch (LOWORD(wParam)) {
        case IDC_OK_BUTTON:
            OnOk(dialog);
            break;
        case IDCANCEL: // the Cancel button, Esc and the close box
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            break;
        case kTextCheckAll:
            CheckAllComponents(list);
            break;
        case kTextUncheckAll:
            UncheckAllComponents(list);
            break;
        case kTextInvert:
            InvertComponents(list);
            break;
        case IDC_BROWSE_BUTTON:
            BrowseForDestination(dialog, IDC_DESTINATION_EDIT);
            break;
        }
        break;
    case WM_CONTEXTMENU:
        if (!installing && list && reinterpret_cast<HWND>(wParam) == list)
            ShowListMenu(dialog);
        break;
    case WM_CLOSE:
        if (!installing)
            EndDialog(dialog, 0);
        break;
    }
    (void)lParam;
    return 0;
}
