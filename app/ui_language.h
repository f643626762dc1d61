// The interface language on Windows: the choice from the system's default
// language, texts applied to windows, message boxes and system-error texts.
#ifndef OV_APP_UI_LANGUAGE_H
#define OV_APP_UI_LANGUAGE_H

#include <windows.h>

#include "app/setup_state.h"
#include "app/ui_language_tables.h"

// Longest texts, terminator included, that the helpers below look up.
enum {
    kMessageTextCapacity = 510, // message by id: at most 508 characters
    kMenuTextCapacity = 63,     // context-menu items: at most 61 characters
    kSystemErrorCapacity = 511, // system-error text: at most 510 characters
};

// Fills `languageCode` (when still empty) from GetSystemDefaultLangID and
// points `language` at the matching table, English when none matches.
void ChooseUiLanguage(SetupState* state);

// The table of the running setup: `setupState->language`, English without one.
const UiLanguage* CurrentUiLanguage();

// `ids` ends with 0. ids[0] names the window's own caption text (0: leave the
// caption); each further id is both a control id and a string id. Controls
// whose id has no text are emptied.
void ApplyUiTexts(HWND window, const UiLanguage* table, const uint16_t* ids);

// Shows `text` in a message box captioned with the file-name part of
// `captionSource` (the whole source when that part is empty). Without an
// owner the active window owns it. An empty text shows nothing and returns
// IDCANCEL; otherwise the box's result.
int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* captionSource, UINT type);

// ShowMessageBox with the current language's text for `id`.
int ShowMessageById(HWND owner, uint16_t id, const wchar_t* captionSource, UINT type);

// The system's own text for `code` (the thread's last error when 0) in a
// stop box with an OK button. Returns 0 when there is no error code, IDCANCEL
// when the system has no text for it, else the box's result.
int ShowSystemError(HWND owner, DWORD code, const wchar_t* captionSource);

#endif
