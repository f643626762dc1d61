// What the setup reads from a product by name and by content, as the packer
// checks it: std::string faces of the setup's own rules in install/, so
// that the packer's warnings and the setup can never disagree.
#ifndef OV_TOOLS_MKSETUP_SETUP_RULES_H
#define OV_TOOLS_MKSETUP_SETUP_RULES_H

#include <cstdint>
#include <string>
#include <vector>

// Entry kinds the setup recognises by name.
bool IsSetupScriptName(const std::wstring& name);
bool IsDescriptionName(const std::wstring& name);
bool IsLanguageFileName(const std::wstring& name);

// The file-name part of an archived name, and its extension (folded).
std::wstring LeafOf(const std::wstring& name);
std::wstring ExtensionOf(const std::wstring& name);
bool EndsWithFolded(const std::wstring& name, const wchar_t* suffix);

// The setup's way of reading a script setting: the first occurrence of the
// key anywhere in the text, which counts only when "=" follows at once.
struct ScriptValue {
    bool found = false;      // "key=" is where the first "key" is
    bool insideWord = false; // that first "key" does not start a line
    std::string value;       // up to the line end
    std::string kept;        // what the setup keeps of it in its field
};
ScriptValue ReadScriptValue(const std::string& text, const char* key);

// The display name the setup reads from the start of a language file, or
// empty when it would not list the language.
std::wstring LanguageDisplayName(const std::vector<uint8_t>& data);

// `<prefix>_<code>.LNG`: a prefix, "_", two letters, ".LNG", and short
// enough for the setup's 31-character prefix field.
bool IsWellNamedLanguageFile(const std::wstring& leaf);
// The language-file prefix the setup derives from a file name.
std::wstring LanguagePrefixOf(const std::wstring& leaf);

// The product name the setup shows from FILE_ID.DIZ (empty: none).
std::string ProductNameOf(const std::vector<uint8_t>& description);

// Whether the setup takes a file of this name for the main program when the
// script names none.
bool IsMainProgramName(const std::wstring& leaf);

#endif
