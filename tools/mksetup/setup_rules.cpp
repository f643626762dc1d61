#include "tools/mksetup/setup_rules.h"

#include "base/text_utils.h"
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
    return name.size() >= 5 && EndsWithFolded(name, L".INF");
}

bool IsDescriptionName(const std::wstring& name)
{
    return FoldCase(name) == L"FILE_ID.DIZ";
}

bool IsLanguageFileName(const std::wstring& name)
{
    return name.size() >= 5 && EndsWithFolded(name, L".LNG");
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
    std::wstring prefix = leaf.substr(0, 31);
    if (prefix.size() > 7)
        prefix.resize(prefix.size() - 7);
    return prefix;
}

ScriptValue ReadScriptValue(const std::string& text, const char* key)
{
    ScriptValue result;
    size_t at = text.find(key);
    size_t after = at + std::strlen(key);
    if (at == std::string::npos || after >= text.size() || text[after] != '=')
        return result;
    result.found = true;
    result.insideWord = at > 0 && text[at - 1] != '\n' && text[at - 1] != '\r';
    size_t end = text.find_first_of("\r\n", after + 1);
    result.value = text.substr(after + 1, end == std::string::npos ? std::string::npos : end - after - 1);
    return result;
}

std::wstring LanguageDisplayName(const std::vector<uint8_t>& data)
{
    if (data.size() <= 7)
        return std::wstring();
    std::wstring text;
    if (data[0] == 0xFF && data[1] == 0xFE) {
        for (size_t i = 2; i + 1 < data.size() && text.size() < 259; i += 2)
            text += wchar_t(data[i] | (data[i + 1] << 8));
    } else {
        std::vector<wchar_t> wide(260);
        std::string ansi(data.begin(), data.begin() + std::min<size_t>(data.size(), 259));
        AnsiToWide(ansi.c_str(), wide.data(), wide.size());
        text = wide.data();
    }
    size_t zero = text.find(L'\0');
    if (zero != std::wstring::npos)
        text.resize(zero);
    if (text.empty() || text[0] != L'[')
        return std::wstring();
    size_t at = text.find(L"Language");
    if (at == std::wstring::npos || at + 9 > text.size())
        return std::wstring();
    std::wstring name = text.substr(at + 9);
    size_t end = name.find_first_of(L"(=\r\n");
    if (end != std::wstring::npos)
        name.resize(end);
    return name;
}
