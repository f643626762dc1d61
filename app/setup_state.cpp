#include "app/setup_state.h"

#include "app/ui_language.h"
#include "base/text_utils.h"

void InitSetupState(HINSTANCE instance)
{
    setupState->icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SETUP));
    ChooseUiLanguage(setupState);
    wchar_t path[kPathCapacity + 1];
    DWORD length = GetModuleFileNameW(nullptr, path, kPathCapacity + 1);
    // A path the system had to cut names some other file; an empty path
    // makes the payload unreadable instead of reading that file.
    if (length == 0 || length > kPathCapacity - 1)
        path[0] = 0;
    CopyTextBounded(path, setupState->setupPath, kPathCapacity);
}
