#include "app/install_run.h"

#include "app/ui_language.h"
#include "archive/archive_pass.h"
#include "base/platform.h"
#include "base/text_utils.h"
#include "install/folders.h"
#include "install/install_entries.h"
#include "install/registry.h"
#include "install/shortcuts.h"
#include "resources/resource_ids.h"

#include <errno.h>
#include <stdlib.h>

enum { kSystemErrorCannotCreate = 82 }; // ERROR_CANNOT_MAKE

static bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// Extraction into run->destination: the folder and its parents first, an
// old PSAPI.DLL set aside only in the user's own destination.
static int Extract(InstallRun* run, bool setPsapiAside, EntryHeaderInfo* info)
{
    CreateDirectoryTree(run->destination);
    if (setPsapiAside)
        MovePsapiAside(run->destination);
    _doserrno = 0;
    return ArchivePassWithInfo(setupState->setupPath, InstallEntryCallback, run, info);
}

// The fallback when a file cannot be created in the destination: the whole
// payload goes into a fresh temporary folder, which the shell then moves.
static int ExtractThroughTempFolder(InstallRun* run, EntryHeaderInfo* info)
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
    return Extract(run, false, info);
}

// The outermost of `path` and its parent folders that does not exist yet:
// what CreateDirectoryTree will make of it. Empty when `path` exists.
static void OutermostMissingFolder(const wchar_t* path, wchar_t* out)
{
    wchar_t probe[kPathCapacity];
    CopyTextBounded(path, probe, kPathCapacity);
    out[0] = 0;
    while (TextLength(probe) > 3 && PathMissing(probe)) {
        CopyTextBounded(probe, out, kPathCapacity);
        CutToParentFolder(probe);
    }
}

// The system's code for a failed write: the C runtime keeps it beside errno,
// which is less exact (Wine's gives EINVAL for a full disk), so a full disk
// is told in the system's own words and not taken for a broken file.
static DWORD SystemErrorOfWrite(int error)
{
    if (_doserrno)
        return _doserrno;
    return error == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
}

// A failed run removes the folders it created, with what it wrote there: a
// half-filled new folder would make the next run take it for an installed
// product. In a folder that was there before, written files stay; the older
// ones they replaced are gone already.
static int Fail(HWND dialog, int result, int writeError, const wchar_t* createdFolder, HCURSOR previous)
{
    if (createdFolder[0])
        ShellDeleteTree(createdFolder);
    SetCursor(previous);
    if (result == kPassCannotCreate)
        ShowSystemError(dialog, kSystemErrorCannotCreate, L"");
    else if (result == kPassCannotWrite)
        ShowSystemError(dialog, SystemErrorOfWrite(writeError), L"");
    else
        ShowMessageById(dialog, kTextBrokenFile, setupState->setupPath, MB_OK | MB_ICONSTOP);
    return result;
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
    wchar_t created[kPathCapacity];
    OutermostMissingFolder(run.destination, created);
    EntryHeaderInfo info;
    int result = Extract(&run, true, &info);
    if (result == kPassCannotCreate)
        result = ExtractThroughTempFolder(&run, &info);
    if (result != kPassOk)
        return Fail(dialog, result, info.writeError, created, previous);

    SetDlgItemTextW(dialog, IDC_STATUS_LINE, L"");
    if (run.tempFolder[0]) {
        result = ShellMove(dialog, run.destination, run.finalDestination);
        CopyTextBounded(run.finalDestination, run.destination, kPathCapacity);
        // Even from the temporary folder (which keeps what was not moved)
        // the files could not take their place: said as for a file that
        // cannot be created, since the shell may have said nothing.
        if (result != 0) {
            Fail(dialog, kPassCannotCreate, 0, created, previous);
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
