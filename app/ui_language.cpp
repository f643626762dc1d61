#include "app/ui_language.h"

#include "app/setup_state.h"
#include "base/text_utils.h"

void ChooseUiLanguage(SetupState* state)
{
    state->language = kUiLanguages[0];
    if (state->languageCode[0] == 0)
        CopyTextBounded(LanguageCodeForLangId(GetSystemDefaultLangID()), state->languageCode,
                        sizeof state->languageCode);
    state->language = FindUiLanguage(state->languageCode);
}

const UiLanguage* CurrentUiLanguage()
{
    if (setupState && setupState->language)
        return setupState->language;
    return kUiLanguages[0];
}

void ApplyUiTexts(HWND window, const UiLanguage* table, const uint16_t* ids)
{
    if (!ids)
        return;
    wchar_t text[kMessageTextCapacity];
    if (ids[0] != 0) {
        LookupUiText(table, ids[0], text, kMessageTextCapacity);
        SetWindowTextW(window, text);
    }
    for (const uint16_t* id = ids + 1; *id; id++) {
        LookupUiText(table, *id, text, kMessageTextCapacity);
        SetDlgItemTextW(window, *id, text);
    }
}

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* captionSource, UINT type)
{
    if (!text || text[0] == 0)
        return IDCANCEL;
    if (!owner)
        owner = GetActiveWindow();
    const wchar_t* caption = captionSource ? captionSource : L"";
    const wchar_t* name = caption + FileNamePosition(caption);
    if (name[0] != 0)
        caption = name;
    return MessageBoxW(owner, text, caption, type);
}

int ShowMessageById(HWND owner, uint16_t id, const wchar_t* captionSource, UINT type)
{
    wchar_t text[kMessageTextCapacity];
    LookupUiText(CurrentUiLanguage(), id, text, kMessageTextCapacity);
    return ShowMessageBox(owner, text, captionSource, type);
}

int ShowSystemError(HWND owner, DWORD code, const wchar_t* captionSource)
{
    if (code == 0)
        code = GetLastError();
    if (code == 0)
        return 0;
    wchar_t text[kSystemErrorCapacity + 1];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, kSystemErrorCapacity, nullptr);
    if (length == 0)
        text[0] = 0;
    text[kSystemErrorCapacity] = 0;
    if (text[0] == 0)
        return IDCANCEL;
    return ShowMessageBox(owner, text, captionSource, MB_OK | MB_ICONSTOP);
}
