// The built-in interface languages: string tables looked up by 16-bit id.
//
// This file and its .cpp are portable (no Windows headers) so that the tables
// and the choice and lookup rules are tested natively as well as under Wine.
// The string ids double as dialog control ids.
#ifndef OV_APP_UI_LANGUAGE_TABLES_H
#define OV_APP_UI_LANGUAGE_TABLES_H

#include <stddef.h>
#include <stdint.h>

#include "resources/resource_ids.h"

// Text kinds of a table: UTF-16 (wchar_t) texts, or 8-bit Windows-1252 texts
// (any other value; the built-in tables use kUiTextAnsi).
enum : int16_t { kUiTextWide = -1, kUiTextAnsi = 0 };

// One entry: a string id and its text, a `const char*` or, in a wide table,
// a `const wchar_t*`. A table ends with an entry of id 0 and no text.
struct UiText {
    uint16_t id;
    const void* text;
};

struct UiLanguage {
    int16_t textKind;
    char code[3];
    const UiText* entries;
};

// String ids of the interface (the first group are also control ids).
enum : uint16_t {
    kTextCancel = IDC_CANCEL_BUTTON,
    kTextOk = IDC_OK_BUTTON,
    kTextCheckAll = 136,
    kTextUncheckAll = 137,
    kTextInvert = 138,
    kTextCaption = IDD_SETUP,
    kTextLanguageColumn = IDC_COMPONENT_LIST,
    kTextDestinationLabel = IDC_DESTINATION_LABEL,
    kTextProgramGroupBox = IDC_PROGRAM_GROUP_BOX,
    kTextDesktopBox = IDC_DESKTOP_BOX,
    kTextQuickLaunchBox = IDC_QUICK_LAUNCH_BOX,
    kTextEnglishItem = 2001,
    kTextGermanItem = 2002,
    kTextSuccessTail = 3000,
    kTextBrokenFile = 3001,
};

// English, German, Italian, then a null entry. English is the fallback.
extern const UiLanguage* const kUiLanguages[];

// "DE" for the German variants of the system default language id, "IT" for
// the Italian ones, "US" for every other id.
const char* LanguageCodeForLangId(uint16_t langId);

// The first table whose code equals `code` without regard to case; English
// when none does (or `code` is null).
const UiLanguage* FindUiLanguage(const char* code);

// Looks `id` up in `table`: the text, 8-bit texts converted as Windows-1252
// (whatever the system code page), at most capacity - 2 characters, always terminated, with every
// backslash-"t" pair turned into one tab. Empty when the id is not there (or
// is 0, or there is no table).
void LookupUiText(const UiLanguage* table, uint16_t id, wchar_t* out, size_t capacity);

#endif
