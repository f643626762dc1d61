#include "app/install_run.h"

#include "app/ui_language.h"
#include "archive/archive_pass.h"
#include "base/text_utils.h"
#include "install/folders.h"
#include "install/install_entries.h"
#include "install/registry.h"
#include "install/shortcuts.h"
#include "resources/resource_ids.h"

enum { kSystemErrorCannotCreate = 82 }; // ERROR_CANNOT_MAKE

static bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// Extraction into run->destination: the folder and its parents first, an
// old PSAPI.DLL set aside only in the user's own destination.
static int Extract(InstallRun* run, bool setPsapiAside)
{
    CreateDirectoryTree(run->destination);
    if (setPsapiAside)
        MovePsapiAside(run->destination);
    return ArchivePass(setupState->setupPath, InstallEntryCallback, run);
}

// The fallback when a file cannot be created in the destination: the whole
// payload goes into a fresh temporary folder, which the shell then moves.
static int ExtractThroughTempFolder(InstallRun* run)
{
    MakeTempFolderName(run->tempFolder, kPathCapacity);
    CopyTextBounded(run->destination, run->finalDestination, kPathCapacity);
    CopyTextBounded(run->tempFolder, run->destination, kPathCapacity);
    // Trailing separators do not count: "D:\Apps\" is moved as "Apps", so
    // the files land in the folder the user named.
    size_t length;
    const wchar_t* last = LastComponent(run->finalDestination, &length);
    if (length > 0 && !(length == 2 && last[1] == L':')) {
        wchar_t name[kPathCapacity];
        CopyTextBounded(last, name, length + 1);
        JoinPath(name, run->destination, kPathCapacity);
    }
    return Extract(run, false);
}

int RunInstall(HWND dialog)
{
    wchar_t product[32];
    AnsiToWide(setupState->group, product, 32);
    InstallRun run = {};
    run.dialog = dialog;
    AnsiToWide(setupState->exeName, run.mainProgram, 32);
    GetDlgItemTextW(dialog, IDC_DESTINATION_EDIT, run.destination, 259);
    if (!run.destination[0])
        return -1;

    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    SetErrorMode(SEM_FAILCRITICALERRORS);
    int result = Extract(&run, true);
    if (result == kPassCannotCreate)
        result = ExtractThroughTempFolder(&run);
    if (result != kPassOk) {
        SetCursor(previous);
        if (result == kPassCannotCreate)
            ShowSystemError(dialog, kSystemErrorCannotCreate, L"");
        else
            ShowMessageById(dialog, kTextBrokenFile, setupState->setupPath, MB_OK | MB_ICONSTOP);
        return result;
    }

    SetDlgItemTextW(dialog, IDC_STATUS_LINE, L"");
    if (run.tempFolder[0]) {
        result = ShellMove(dialog, run.destination, run.finalDestination);
        CopyTextBounded(run.finalDestination, run.destination, kPathCapacity);
        if (result != 0) {
            SetCursor(previous);
            return -1;
        }
    }
    RememberDestination(run.destination);
    if (run.uninstaller[0]) {
        wchar_t command[264];
        CopyTextBounded(run.destination, command, 264);
        JoinPath(run.uninstaller, command, 264);
        WriteUninstallEntry(command);
    }
    if (run.mainProgram[0]) {
        if (Checked(dialog, IDC_PROGRAM_GROUP_BOX))
            CreateProgramGroup(dialog, &run);
        wchar_t target[kPathCapacity];
        CopyTextBounded(run.destination, target, kPathCapacity);
        JoinPath(run.mainProgram, target, kPathCapacity);
        if (Checked(dialog, IDC_DESKTOP_BOX))
            CreateDesktopLink(target, product);
        if (Checked(dialog, IDC_QUICK_LAUNCH_BOX))
            CreateQuickLaunchLink(target, product);
    }
    if (run.tempFolder[0])
        ShellDeleteTree(run.tempFolder);
    SetCursor(previous);

    wchar_t message[264];
    wchar_t tail[kMessageTextCapacity];
    LookupUiText(CurrentUiLanguage(), kTextSuccessTail, tail, kMessageTextCapacity);
    CopyTextBounded(product, message, 264);
    AppendText(tail, message, 264);
    // Captioned with the whole window text: a product called "TCP/IP Tool"
    // must not lose the part before its slash.
    wchar_t caption[kPathCapacity];
    GetWindowTextW(dialog, caption, kPathCapacity);
    MessageBoxW(dialog, message, caption, MB_OK | MB_ICONINFORMATION);
    return 0;
}
