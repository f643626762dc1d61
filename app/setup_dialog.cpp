#include "app/setup_dialog.h"

#include "app/setup_state.h"
#include "app/ui_language.h"

// Texts applied at initialisation: the caption, then the controls.
static const uint16_t kDialogTextIds[] = {
    kTextCaption,         kTextOk,         kTextCancel,         kTextDestinationLabel,
    kTextProgramGroupBox, kTextDesktopBox, kTextQuickLaunchBox, 0,
};

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

void InitSetupDialog(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_COMPONENT_LIST);
    CentreOnDesktop(dialog);
    if (setupState)
        SetClassLongPtrW(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(setupState->icon));
    ApplyUiTexts(dialog, CurrentUiLanguage(), kDialogTextIds);
    if (!list)
        return;
    // The component list, the scan of the payload, the window-closing thread
    // and the destination follow here once those parts exist.
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitSetupDialog(dialog);
        break;
    case WM_COMMAND:
        // Cancel, Esc and the close box all arrive as IDCANCEL. OK has
        // nothing to install yet, so it leaves the dialog as it is.
        if (LOWORD(wParam) == IDCANCEL)
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        break;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        break;
    }
    return 0;
}
