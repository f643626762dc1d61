// Entry point of the setup program: one global record, one modal dialog,
// exit code 0 whatever happens.
#include <ole2.h>
#include <commctrl.h>

#include "app/setup_dialog.h"
#include "app/setup_state.h"
#include "app/ui_language.h"
#include "archive/text_utils.h"

#include <stdlib.h>

SetupState* setupState = nullptr;

void InitSetupState(HINSTANCE instance)
{
    setupState->icon = LoadIconW(instance, MAKEINTRESOURCEW(kSetupIconId));
    ChooseUiLanguage(setupState);
    wchar_t path[kPathCapacity + 1];
    DWORD length = GetModuleFileNameW(nullptr, path, kPathCapacity + 1);
    // A path that the system had to cut is not the program's file; leaving
    // it empty makes the payload unreadable instead of reading another file.
    if (length == 0 || length > kPathCapacity - 1)
        path[0] = 0;
    CopyTextBounded(path, setupState->setupPath, kPathCapacity);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    setupState = static_cast<SetupState*>(calloc(1, sizeof(SetupState)));
    if (!setupState)
        return 0;
    OleInitialize(nullptr);
    InitCommonControls();
    InitSetupState(instance);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(kSetupDialogId), nullptr, SetupDialogProc, 0);
    OleUninitialize();
    free(setupState);
    setupState = nullptr;
    return 0;
}
