// The registry: the proposed destination, the remembered one, and the
// uninstall entry in the system's list of installed programs.
#ifndef OV_INSTALL_REGISTRY_H
#define OV_INSTALL_REGISTRY_H

#include <stddef.h>

// The remembered destination of this product (value `productId` under
// HKCU\Software\Orvanex), as stored; else the Program Files folder followed
// by the group. Empty when nothing can be found.
void GetDefaultDestination(wchar_t* out, size_t capacity);

// HKLM\Software\Microsoft\Windows\CurrentVersion "ProgramFilesDir", or empty.
void ReadProgramFilesDir(wchar_t* out, size_t capacity);

void RememberDestination(const wchar_t* destination);

// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<group> with
// "DisplayName", "UninstallString" and "Publisher".
void WriteUninstallEntry(const wchar_t* uninstallCommand);

#endif
