// The scan of the payload before the dialog appears: every entry decoded
// into memory and checked; FILE_ID.DIZ, the setup script and the language
// files fill the setup's record, the title and the component list.
#ifndef OV_INSTALL_SCAN_ENTRIES_H
#define OV_INSTALL_SCAN_ENTRIES_H

#include <windows.h>

#include <stdint.h>

// The EntryCallback of the scan pass; `userData` is the dialog. Returns 0
// always: the pass checks the whole payload.
int ScanEntryCallback(wchar_t* name, const unsigned char* data, uint32_t size, void* userData);

// Reads "ID", "Group", "Class" and "Exe" into the setup's record.
void ReadSetupScript(const char* text);

// Adds the product and version of FILE_ID.DIZ's title line to the dialog's
// caption, shows them in the title line in an 18-point font, and makes the
// product the group when the script named none.
void ReadDescription(HWND dialog, const char* text);

// Lists the language one language file names, unless its code is listed.
void AddLanguageFromFile(HWND dialog, const uint8_t* data, uint32_t size, const wchar_t* entryName);

// Unchecks every listed language but English and German whose language file
// is missing from `folder` (an update keeps the languages it had).
void PreselectInstalledLanguages(HWND dialog, const wchar_t* folder);

#endif
