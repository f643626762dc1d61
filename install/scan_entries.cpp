#include "install/scan_entries.h"

#include "archive/archive_pass.h"
#include "base/platform.h"
#include "base/text_utils.h"
#include "install/component_list.h"
#include "install/payload_rules.h"
#include "install/setup_state.h"
#include "resources/resource_ids.h"

#include <commctrl.h>

// A memory-mode code that has the entry checked but not kept: nothing is
// read from other entries, so their bytes need no room (a product of one
// large file would otherwise need its size in memory at start).
static const wchar_t kOtherEntry = wchar_t(kEntryOther | kNameCodeCheckOnly);

int ScanEntryCallback(wchar_t* name, const unsigned char* data, uint32_t size, void* userData)
{
    HWND dialog = static_cast<HWND>(userData);
    if (!data) {
        EntryKind kind = EntryKindOf(name);
        if (kind == kEntryLanguage && setupState)
            TakeLanguagePrefix(name, setupState->lngPrefix, kNameFieldCapacity);
        // Only the first character changes: a language file's code is read
        // from the rest of its name on the second call.
        name[0] = kind == kEntryOther ? kOtherEntry : wchar_t(kind);
        return 0;
    }
    switch (name[0]) {
    case kEntryDescription:
        ReadDescription(dialog, reinterpret_cast<const char*>(data));
        break;
    case kEntryScript:
        ReadSetupScript(reinterpret_cast<const char*>(data));
        break;
    case kEntryLanguage:
        if (size > 7)
            AddLanguageFromFile(dialog, data, size, name);
        break;
    }
    return 0;
}

void ReadSetupScript(const char* text)
{
    ReadScriptValue(text, "ID", setupState->productId, sizeof setupState->productId);
    ReadScriptValue(text, "Group", setupState->group, sizeof setupState->group);
    ReadScriptValue(text, "Class", setupState->windowClass, sizeof setupState->windowClass);
    ReadScriptValue(text, "Exe", setupState->exeName, sizeof setupState->exeName);
}

void ReadDescription(HWND dialog, const char* text)
{
    char product[kProductNameCapacity], version[kVersionCapacity];
    ReadProductTitle(text, product, sizeof product, version, sizeof version);

    wchar_t title[kPathCapacity];
    GetWindowTextW(dialog, title, kPathCapacity);
    AppendText(L" ", title, kPathCapacity);
    AppendAnsi(product, title, kPathCapacity);
    AppendText(L" ", title, kPathCapacity);
    AppendAnsi(version, title, kPathCapacity);
    SetWindowTextW(dialog, title);

    wchar_t line[kPathCapacity];
    AnsiToWide(product, line, kPathCapacity);
    AppendText(L" ", line, kPathCapacity);
    AppendAnsi(version, line, kPathCapacity);
    HWND titleLine = GetDlgItem(dialog, IDC_TITLE_LINE);
    HDC dc = GetDC(dialog);
    int height = -MulDiv(18, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(dialog, dc);
    // The font lives as long as the dialog: the program ends with it.
    HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_STRING_PRECIS,
                             CLIP_STROKE_PRECIS, DRAFT_QUALITY, VARIABLE_PITCH | FF_SWISS, L"MS Sans Serif");
    SendMessageW(titleLine, WM_SETFONT, WPARAM(font), TRUE);
    SetWindowTextW(titleLine, line);

    if (setupState->group[0] == 0)
        CopyTextBounded(product, setupState->group, sizeof setupState->group);
}

void AddLanguageFromFile(HWND dialog, const uint8_t* data, uint32_t size, const wchar_t* entryName)
{
    wchar_t display[kPathCapacity];
    if (!ReadLanguageName(data, size, display, kPathCapacity))
        return;
    uint32_t tag = LanguageFileTag(entryName);
    HWND list = GetDlgItem(dialog, IDC_COMPONENT_LIST);
    if (tag == 0 || FindComponentItem(list, tag) >= 0)
        return;
    AddComponentItem(list, display, tag);
}

void PreselectInstalledLanguages(HWND dialog, const wchar_t* folder)
{
    HWND list = GetDlgItem(dialog, IDC_COMPONENT_LIST);
    int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; i++) {
        uint32_t tag = ComponentItemTag(list, i);
        if (tag == kTagEnglish || tag == kTagGerman)
            continue;
        wchar_t path[kPathCapacity];
        LanguageFilePath(folder, setupState->lngPrefix, tag, path, kPathCapacity);
        if (PathMissing(path))
            SetComponentCheckState(list, i, false);
    }
}
