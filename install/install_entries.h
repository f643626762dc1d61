// The extracting pass of an install run: which entries are written, where,
// and which installed files later steps need.
#ifndef OV_INSTALL_INSTALL_ENTRIES_H
#define OV_INSTALL_INSTALL_ENTRIES_H

#include <windows.h>

#include <stdint.h>

// One install run's record, made afresh for each press of OK and handed to
// the extracting pass as its user data.
struct InstallRun {
    HWND dialog;
    int32_t germanInstalled;  // installed language entries coded "DE"
    wchar_t destination[260]; // where files go (inside the temporary folder during the fallback)
    wchar_t mainProgram[32];  // the main program's file name: shortcuts need it
    wchar_t licenseText[32];  // recorded file names of installed special files
    wchar_t orderPage[32];
    wchar_t orderPageGerman[32];
    wchar_t uninstaller[32];
    wchar_t tempFolder[260];       // the fallback's temporary folder, or empty
    wchar_t finalDestination[260]; // the user's destination during the fallback
};

// The EntryCallback of the extracting pass; `userData` is the InstallRun.
// Every entry is answered on the first call: skipped (an unchecked
// language, the setup script, a name that must not be written) or written
// directly into the destination. Returns 0 always.
int InstallEntryCallback(wchar_t* name, const unsigned char* data, uint32_t size, void* userData);

// Renames an old PSAPI.DLL in the destination to OVPSAPI.DLL; failures are
// ignored.
void MovePsapiAside(const wchar_t* destination);

#endif
