// What the setup decides for each entry it installs: whether a language
// entry belongs to a chosen language, which entries play a part (licence,
// order pages, uninstaller, main program, the script that stays out), which
// names are safe to write, and the flat target path. Portable: mksetup
// warns with the same rules.
#ifndef OV_INSTALL_ENTRY_RULES_H
#define OV_INSTALL_ENTRY_RULES_H

#include <stddef.h>
#include <stdint.h>

// The maker's prefix: the first letter of a main program's name, and the
// prefix an old PSAPI.DLL is renamed with.
#define OV_MAKER_PREFIX L"OV"

// The tag of a language entry, `<prefix>_<code>.<extension>` with a code of
// fewer than 5 characters after the first folder level; 0 when the entry is
// no language entry. Only the position of the "_" is compared with the
// prefix, not its letters.
uint32_t LanguageTagOfEntry(const wchar_t* entryName, const wchar_t* lngPrefix);

// The part an installed file plays, from its file-name part, first match
// first.
enum EntryRole {
    kRoleOther = 0,
    kRoleLicense,     // LICENSE.TXT
    kRoleOrder,       // ORDER.HTM
    kRoleOrderGerman, // BESTELL.HTM
    kRoleUninstaller, // UnInst.exe
    kRoleScript,      // *.INF: not installed
    kRoleProgram,     // O*.EXE: the main program, when none is known yet
};
EntryRole EntryRoleOf(const wchar_t* fileName);

// False for a file-name part that must never be written, whatever the
// archive says: empty, "." or "..", a device name, or one holding ":" (a
// stream or a drive).
bool IsSafeFileName(const wchar_t* fileName);

// `destination\<file-name part of entryName>`: every file lands directly in
// the destination, whatever archive folder it was stored in. False when the
// path does not fit; `out` then holds what did.
bool FlatTargetPath(const wchar_t* destination, const wchar_t* entryName, wchar_t* out, size_t capacity);

#endif
