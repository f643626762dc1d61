// Shortcuts: the Start-menu program group with its links, the desktop icon
// and the quick-launch icon, each a shell link file saved to disk.
#ifndef OV_INSTALL_SHORTCUTS_H
#define OV_INSTALL_SHORTCUTS_H

#include <windows.h>

#include <stddef.h>

struct InstallRun;

// The file-system path of a shell folder (CSIDL_...), or empty.
void GetSpecialFolderPath(int csidl, wchar_t* out);
// The user's Quick Launch folder (not tested for existence), or empty.
void GetQuickLaunchFolder(wchar_t* out, size_t capacity);
bool QuickLaunchFolderExists();

// One link with exactly three properties: target, working folder and show
// command 5. Returns the shell's result code.
HRESULT CreateShellLink(const wchar_t* linkPath, const wchar_t* target, const wchar_t* workingFolder);

// `<folder>\<name>.lnk` for `target`, working in the target's folder.
void CreateDesktopLink(const wchar_t* target, const wchar_t* name);
void CreateQuickLaunchLink(const wchar_t* target, const wchar_t* name);

// `<groupFolder>\<name>.lnk` for `destination\fileName`; nothing when either
// name is empty (a file that was not installed gets no link).
void CreateGroupLink(const wchar_t* name, const wchar_t* destination, const wchar_t* fileName,
                     const wchar_t* groupFolder);

// The program group: main program, uninstaller, licence and order pages. An
// existing group is left as it is; on the temporary-folder route the group
// is built there and moved into the Programs menu.
void CreateProgramGroup(HWND dialog, const InstallRun* run);

#endif
