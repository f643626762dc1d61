#include "tools/mksetup/setup_rules.h"

#include "base/text_utils.h"
#include "install/entry_rules.h"
#include "install/payload_rules.h"
#include "tools/mksetup/tool_text.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

std::wstring LeafOf(const std::wstring& name)
{
    size_t slash = name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

std::wstring ExtensionOf(const std::wstring& name)
{
    std::wstring leaf = LeafOf(name);
    size_t dot = leaf.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : FoldCase(leaf.substr(dot + 1));
}

bool EndsWithFolded(const std::wstring& name, const wchar_t* suffix)
{
    size_t n = std::wcslen(suffix);
    return name.size() >= n && FoldCase(name.substr(name.size() - n)) == suffix;
}

bool IsSetupScriptName(const std::wstring& name)
{
    return EntryKindOf(name.c_str()) == kEntryScript;
}

bool IsDescriptionName(const std::wstring& name)
{
    return EntryKindOf(name.c_str()) == kEntryDescription;
}

bool IsLanguageFileName(const std::wstring& name)
{
    return EntryKindOf(name.c_str()) == kEntryLanguage;
}

static bool IsAsciiLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool IsWellNamedLanguageFile(const std::wstring& leaf)
{
    size_t n = leaf.size();
    return n >= 8 && n <= 31 && leaf[n - 7] == L'_' && IsAsciiLetter(leaf[n - 6]) && IsAsciiLetter(leaf[n - 5]) &&
           EndsWithFolded(leaf, L".LNG");
}

std::wstring LanguagePrefixOf(const std::wstring& leaf)
{
    wchar_t prefix[kNameFieldCapacity] = {0};
    TakeLanguagePrefix(leaf.c_str(), prefix, kNameFieldCapacity);
    return prefix;
}

ScriptValue ReadScriptValue(const std::string& text, const char* key)
{
    ScriptValue result;
    const char* at = FindText(text.c_str(), key);
    if (!at || at[std::strlen(key)] != '=')
        return result;
    result.found = true;
    result.insideWord = at > text.c_str() && at[-1] != '\n' && at[-1] != '\r';
    // The whole line, and what the setup keeps of it in its own field.
    std::vector<char> line(text.size() + 1, 0);
    ::ReadScriptValue(text.c_str(), key, line.data(), line.size());
    result.value = line.data();
    char kept[kNameFieldCapacity] = {0};
    ::ReadScriptValue(text.c_str(), key, kept, std::strcmp(key, "ID") == 0 ? kProductIdCapacity : kNameFieldCapacity);
    result.kept = kept;
    return result;
}

std::wstring LanguageDisplayName(const std::vector<uint8_t>& data)
{
    wchar_t name[kPathCapacity];
    if (data.size() <= 7 || !ReadLanguageName(data.data(), uint32_t(data.size()), name, kPathCapacity))
        return std::wstring();
    return name;
}

std::string ProductNameOf(const std::vector<uint8_t>& description)
{
    std::string text(description.begin(), description.end());
    char product[kProductNameCapacity], version[kVersionCapacity];
    ReadProductTitle(text.c_str(), product, sizeof product, version, sizeof version);
    return product;
}

bool IsMainProgramName(const std::wstring& leaf)
{
    return EntryRoleOf(leaf.c_str()) == kRoleProgram;
}
