#include "install/install_entries.h"

#include "base/platform.h"
#include "base/text_utils.h"
#include "install/component_list.h"
#include "install/entry_rules.h"
#include "install/setup_state.h"
#include "resources/resource_ids.h"

// The file name an installed special file is recorded under.
static wchar_t* RecordFor(InstallRun* run, EntryRole role)
{
    switch (role) {
    case kRoleLicense:
        return run->licenseText;
    case kRoleOrder:
        return run->orderPage;
    case kRoleOrderGerman:
        return run->orderPageGerman;
    case kRoleUninstaller:
        return run->uninstaller;
    default:
        return nullptr;
    }
}

int InstallEntryCallback(wchar_t* name, const unsigned char*, uint32_t, void* userData)
{
    InstallRun* run = static_cast<InstallRun*>(userData);
    uint32_t tag = LanguageTagOfEntry(name, setupState ? setupState->lngPrefix : L"");
    if (tag) {
        HWND list = GetDlgItem(run->dialog, IDC_COMPONENT_LIST);
        int item = FindComponentItem(list, tag);
        if (item >= 0 && ComponentCheckState(list, item) == kItemUnchecked) {
            name[0] = 0;
            return 0;
        }
        if (item >= 0 && tag == kTagGerman)
            run->germanInstalled++;
    }

    const wchar_t* fileName = name + FileNamePosition(name);
    // The pass trusts the callback's path; a payload must not be able to
    // write anywhere but directly in the destination.
    if (!IsSafeFileName(fileName)) {
        name[0] = 0;
        return 0;
    }
    EntryRole role = EntryRoleOf(fileName);
    if (role == kRoleScript) {
        name[0] = 0;
        return 0;
    }
    if (wchar_t* record = RecordFor(run, role))
        CopyTextBounded(fileName, record, 32);
    else if (role == kRoleProgram && run->mainProgram[0] == 0)
        CopyTextBounded(fileName, run->mainProgram, 32);

    wchar_t target[kPathCapacity];
    // A path cut to fit would name another file: the destination folder
    // itself stands in, which cannot be created as a file, so the pass
    // fails instead of writing under a wrong name.
    if (!FlatTargetPath(run->destination, name, target, kPathCapacity))
        CopyTextBounded(run->destination, target, kPathCapacity);
    if (!PathMissing(target))
        DeleteFilePath(target);
    CopyTextBounded(target, name, kPathCapacity);
    SetDlgItemTextW(run->dialog, IDC_STATUS_LINE, target);
    // Keeps the dialog painted between entries; its owner ignores input
    // while the run lasts.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

void MovePsapiAside(const wchar_t* destination)
{
    wchar_t from[kPathCapacity], to[kPathCapacity];
    CopyTextBounded(destination, from, kPathCapacity);
    EnsureSeparator(from, kPathCapacity);
    CopyTextBounded(from, to, kPathCapacity);
    AppendText(L"PSAPI.DLL", from, kPathCapacity);
    AppendText(OV_MAKER_PREFIX L"PSAPI.DLL", to, kPathCapacity);
    MoveFileW(from, to);
}
