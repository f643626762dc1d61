// What the setup reads from its payload: the kind of each entry by its
// name, the settings of the setup script, the title line of FILE_ID.DIZ,
// the language a language file names, and the language prefix and codes.
//
// Portable and in fixed buffers, like everything that goes into the stub:
// the setup reads its payload with these, and mksetup checks a product with
// the very same functions, so the two can never disagree.
#ifndef OV_INSTALL_PAYLOAD_RULES_H
#define OV_INSTALL_PAYLOAD_RULES_H

#include <stddef.h>
#include <stdint.h>

// Entry kinds, chosen by name. The scan pass asks for each entry in memory
// with its kind as the first character of the name, and the second call
// tells them apart by it.
enum EntryKind {
    kEntryDescription = 1, // FILE_ID.DIZ, as the whole name
    kEntryScript = 2,      // the setup script: a name ending in ".INF"
    kEntryLanguage = 4,    // a language file: a name ending in ".LNG"
    kEntryOther = 7,
};

// Capacities of the setup's fields, terminator included.
enum {
    kProductIdCapacity = 4,
    kNameFieldCapacity = 32, // group, windowClass, exeName, lngPrefix, recorded file names
    kProductNameCapacity = 128,
    kVersionCapacity = 32,
    kLanguageScanLength = 259, // characters of a language file or FILE_ID.DIZ examined
};

EntryKind EntryKindOf(const wchar_t* name);

// The language prefix from the first language file: its file-name part, at
// most 31 characters, without the last 7 ("_US.LNG") when it is longer than
// that. Leaves a prefix that is already set alone.
void TakeLanguagePrefix(const wchar_t* entryName, wchar_t* lngPrefix, size_t capacity);

// Reads one setting of the setup script: the first occurrence of `key`
// anywhere in the text counts, and only when "=" follows at once. The value
// runs to the end of its line and is appended to what `field` holds, cut to
// the capacity. A key that is absent or not followed by "=" changes nothing.
void ReadScriptValue(const char* text, const char* key, char* field, size_t capacity);

// The title line of FILE_ID.DIZ: its first line, up to the first "(" or "[",
// without one blank before that; `<product> Version <version>` is split at
// " Version ". Both outputs are empty when the line is empty.
void ReadProductTitle(const char* text, char* product, size_t productCapacity, char* version, size_t versionCapacity);

// The display name a language file gives: the file is UTF-16LE behind a
// byte-order mark or 8-bit text; its first character is "[", and within its
// first 259 characters "Language" is followed by one character of any kind
// and the name, which ends at "(", "=", CR or LF. False (and an empty name)
// when the file names no language.
bool ReadLanguageName(const uint8_t* data, uint32_t size, wchar_t* name, size_t capacity);

// The tag of a language code: its first letters (at most three), upper-cased,
// as 8-bit characters with the first in the lowest byte ("US" is 21333).
uint32_t LanguageTag(const wchar_t* code, size_t length);

// The tag of a language file's name: the two letters before ".LNG". 0 when
// the name is too short to hold them.
uint32_t LanguageFileTag(const wchar_t* entryName);

// `<folder>\<lngPrefix>_<code>.LNG` for a tag, cut at the capacity.
void LanguageFilePath(const wchar_t* folder, const wchar_t* lngPrefix, uint32_t tag, wchar_t* out, size_t capacity);

#endif
