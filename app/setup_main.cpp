// Entry point of the setup program: one global record, one modal dialog,
// exit code 0 whatever happens.
#include <ole2.h>
#include <commctrl.h>

#include "app/setup_dialog.h"
#include "app/setup_state.h"
#include "app/ui_language.h"

#include <stdlib.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    setupState = static_cast<SetupState*>(calloc(1, sizeof(SetupState)));
    if (!setupState)
        return 0;
    OleInitialize(nullptr);
    InitCommonControls();
    InitSetupState(instance);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SETUP), nullptr, SetupDialogProc, 0);
    OleUninitialize();
    free(setupState);
    setupState = nullptr;
    return 0;
}
