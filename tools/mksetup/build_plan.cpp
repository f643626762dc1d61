#include "tools/mksetup/build_plan.h"

#include "archive/platform.h"
#include "archive/text_utils.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

const uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
const uint8_t kMainHeaderType = 0x73;

std::string Display(const fs::path& p)
{
    std::string text = p.u8string();
#ifdef _WIN32
    if (text.compare(0, 8, "\\\\?\\UNC\\") == 0)
        return "\\" + text.substr(7);
    if (text.compare(0, 4, "\\\\?\\") == 0)
        return text.substr(4);
#endif
    return text;
}

// On Windows, paths below a deep product folder easily pass the classic
// 260-character limit; the "\\?\" form of the full path lifts it.
fs::path LongPathForm(const fs::path& folder)
{
#ifdef _WIN32
    std::wstring text = folder.wstring();
    if (text.compare(0, 4, L"\\\\?\\") == 0)
        return folder;
    std::error_code ec;
    fs::path full = fs::absolute(folder, ec).lexically_normal();
    if (ec)
        return folder;
    text = full.wstring();
    for (wchar_t& c : text)
        if (c == L'/')
            c = L'\\';
    if (text.compare(0, 2, L"\\\\") == 0)
        return fs::path(L"\\\\?\\UNC\\" + text.substr(2));
    return fs::path(L"\\\\?\\" + text);
#else
    return folder;
#endif
}

// Wide text as UTF-8, for messages.
std::string Utf8(const std::wstring& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        uint32_t c = uint32_t(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            uint32_t low = uint32_t(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i++;
            }
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Quote(const std::wstring& name)
{
    return "'" + Utf8(name) + "'";
}

#ifndef _WIN32
// Strict UTF-8 decoding: an overlong form, a surrogate or a stray byte
// means the name has no Unicode meaning at all.
bool DecodeUtf8(const std::string& s, std::wstring* out)
{
    out->clear();
    for (size_t i = 0; i < s.size();) {
        unsigned char b = (unsigned char)s[i];
        uint32_t c;
        size_t extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if (b >= 0xC2 && b < 0xE0) {
            c = b & 0x1F;
            extra = 1;
        } else if (b >= 0xE0 && b < 0xF0) {
            c = b & 0x0F;
            extra = 2;
        } else if (b >= 0xF0 && b < 0xF5) {
            c = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        for (size_t k = 1; k <= extra; k++) {
            unsigned char t = (unsigned char)s[i + k];
            if ((t & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (t & 0x3F);
        }
        if ((extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000) || c > 0x10FFFF ||
            (c >= 0xD800 && c < 0xE000))
            return false;
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            c -= 0x10000;
            *out += wchar_t(0xD800 + (c >> 10));
            *out += wchar_t(0xDC00 + (c & 0x3FF));
        } else {
            *out += wchar_t(c);
        }
        i += extra + 1;
    }
    return true;
}

#endif

bool ComponentToWide(const fs::path& component, std::wstring* out)
{
#ifdef _WIN32
    *out = component.wstring();
    return true;
#else
    return DecodeUtf8(component.native(), out);
#endif
}

// Why Windows cannot create a file or folder of this name; empty when it can.
std::string WindowsNameProblem(const std::wstring& name)
{
    for (wchar_t c : name) {
        if (c < 32)
            return "holds a control character";
        if (std::wcschr(L"<>:\"|?*\\", c))
            return std::string("holds the character '") + char(c) + "'";
    }
    if (name.back() == L'.' || name.back() == L' ')
        return "ends in a dot or a blank";
    std::wstring stem = FoldCase(name.substr(0, name.find(L'.')));
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL"};
    bool device = false;
    for (const wchar_t* d : kDevices)
        device = device || stem == d;
    if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
        stem[3] >= L'1' && stem[3] <= L'9')
        device = true;
    if (device)
        return "is the name of a Windows device";
    return std::string();
}

uint32_t DosFromFields(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1980)
        return (1u << 21) | (1u << 16); // 1980-01-01 00:00:00
    if (year > 2107)
        return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    return (uint32_t(year - 1980) << 25) | (uint32_t(month) << 21) | (uint32_t(day) << 16) |
           (uint32_t(hour) << 11) | (uint32_t(minute) << 5) | uint32_t(second / 2);
}

// Read-only / hidden bits and the modification time of one file.
bool ReadFileFacts(const fs::path& file, const std::wstring& leaf, const TimePolicy& policy,
                   PlanEntry* entry, std::string* error)
{
#ifdef _WIN32
    (void)leaf;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        *error = "cannot read its attributes (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    entry->attributes = 0x20 | (data.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    entry->size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (policy.fixed) {
        entry->dosTime = DosTimeFromUnix(policy.epoch, true);
    } else {
        // The setup turns the stored time back with the system's own local
        // time conversion, so the same conversion is used here.
        FILETIME local;
        SYSTEMTIME st;
        if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &st)) {
            *error = "cannot read its modification time";
            return false;
        }
        entry->dosTime = DosFromFields(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    }
#else
    struct stat st;
    if (stat(file.c_str(), &st) != 0) {
        *error = std::string("cannot read its attributes (") + std::strerror(errno) + ")";
        return false;
    }
    entry->attributes = 0x20;
    if (!(st.st_mode & S_IWUSR))
        entry->attributes |= 0x01;
    // A leading dot hides a file here; Windows needs the attribute for that.
    if (!leaf.empty() && leaf[0] == L'.')
        entry->attributes |= 0x02;
    entry->size = uint64_t(st.st_size);
    entry->dosTime = DosTimeFromUnix(policy.fixed ? policy.epoch : int64_t(st.st_mtime), policy.fixed);
#endif
    return true;
}

// The entries of one folder. On Windows the system's own listing is used:
// the runtime's directory iteration is bound to the classic path length.
bool ListFolder(const fs::path& folder, std::vector<fs::path>* children, std::string* error)
{
#ifdef _WIN32
    std::wstring pattern = folder.wstring();
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND)
            return true;
        *error = "error " + std::to_string(code);
        return false;
    }
    do {
        if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
            children->push_back(folder / found.cFileName);
    } while (FindNextFileW(search, &found));
    DWORD code = GetLastError();
    FindClose(search);
    if (code != ERROR_NO_MORE_FILES) {
        *error = "error " + std::to_string(code);
        return false;
    }
    return true;
#else
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        children->push_back(it->path());
    if (ec)
        *error = ec.message();
    return !ec;
#endif
}

struct WalkState {
    const TimePolicy* policy;
    std::vector<PlanEntry>* entries;
    Findings* findings;
};

void Walk(const fs::path& folder, const std::wstring& prefix, WalkState* state)
{
    std::error_code ec;
    std::vector<fs::path> children;
    std::string why;
    if (!ListFolder(folder, &children, &why)) {
        state->findings->errors.push_back(Display(folder) + ": cannot list the folder (" + why + ")");
        return;
    }
    // Sorted so that messages come in the same order on every run.
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        std::wstring leaf;
        if (!ComponentToWide(child.filename(), &leaf)) {
            state->findings->errors.push_back(Display(child) + ": the name is not valid UTF-8");
            continue;
        }
        std::wstring name = prefix + leaf;
        fs::file_status link = fs::symlink_status(child, ec);
        if (ec) {
            state->findings->errors.push_back(Display(child) + ": cannot read (" + ec.message() + ")");
            continue;
        }
        fs::file_status target = fs::status(child, ec);
        if (fs::is_directory(target)) {
            if (fs::is_symlink(link)) {
                state->findings->errors.push_back(Display(child) + ": is a link to a folder; such links are not followed");
                continue;
            }
            std::string problem = WindowsNameProblem(leaf);
            if (!problem.empty()) {
                state->findings->errors.push_back(Display(child) + ": the folder name " + problem);
                continue;
            }
            Walk(child, name + L"\\", state);
            continue;
        }
        if (!fs::is_regular_file(target)) {
            state->findings->errors.push_back(Display(child) + ": is not a regular file" +
                                              (fs::is_symlink(link) ? " (a broken link?)" : ""));
            continue;
        }
        std::string problem = WindowsNameProblem(leaf);
        if (!problem.empty()) {
            state->findings->errors.push_back(Display(child) + ": the file name " + problem);
            continue;
        }
        if (!PlatformIsAnsiRepresentable(name.c_str())) {
            state->findings->errors.push_back(Display(child) +
                                              ": the name cannot be written in the Windows-1252 code page the setup reads names in");
            continue;
        }
        PlanEntry entry;
        entry.source = child;
        entry.wideName = name;
        std::vector<char> ansi(name.size() * 4 + 8);
        WideToAnsi(name.c_str(), ansi.data(), ansi.size());
        entry.name = ansi.data();
        if (entry.name.size() > kMaxNameBytes) {
            state->findings->errors.push_back(Display(child) + ": the stored name '" + Utf8(name) + "' is " +
                                              std::to_string(entry.name.size()) + " bytes; the setup reads at most " +
                                              std::to_string(kMaxNameBytes));
            continue;
        }
        std::string why;
        if (!ReadFileFacts(child, leaf, *state->policy, &entry, &why)) {
            state->findings->errors.push_back(Display(child) + ": " + why);
            continue;
        }
        state->entries->push_back(entry);
    }
}

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

std::string Grouped(uint64_t n)
{
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

bool IsAsciiLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// `<prefix>_<code>.LNG`: a prefix, "_", two letters, ".LNG", and short
// enough for the setup's 31-character prefix field.
bool IsWellNamedLanguageFile(const std::wstring& leaf)
{
    size_t n = leaf.size();
    return n >= 8 && n <= 31 && leaf[n - 7] == L'_' && IsAsciiLetter(leaf[n - 6]) && IsAsciiLetter(leaf[n - 5]) &&
           EndsWithFolded(leaf, L".LNG");
}

// The language-file prefix the setup derives from a file name.
std::wstring LanguagePrefixOf(const std::wstring& leaf)
{
    std::wstring prefix = leaf.substr(0, 31);
    if (prefix.size() > 7)
        prefix.resize(prefix.size() - 7);
    return prefix;
}

// The setup's way of reading a script setting: the first occurrence of the
// key anywhere in the text, which counts only when "=" follows at once.
struct ScriptValue {
    bool found = false;      // "key=" is where the first "key" is
    bool insideWord = false; // that first "key" does not start a line
    std::string value;       // up to the line end
};

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

// The display name the setup reads from the start of a language file, or
// empty when it would not list the language.
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

} // namespace

std::wstring FoldCase(const std::wstring& text)
{
    std::wstring out = text;
    for (wchar_t& c : out) {
        if (c >= L'a' && c <= L'z')
            c = wchar_t(c - 32);
        else if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
            c = wchar_t(c - 32);
        else if (c == 0xFF)
            c = 0x178;
        else if (c == 0x161 || c == 0x153 || c == 0x17E)
            c = wchar_t(c - 1);
    }
    return out;
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

bool ReadTimePolicy(const char* value, TimePolicy* policy, std::string* error)
{
    *policy = TimePolicy();
    if (!value || !*value)
        return true;
    int64_t seconds = 0;
    for (const char* p = value; *p; p++) {
        if (*p < '0' || *p > '9' || p - value >= 15) {
            *error = std::string("SOURCE_DATE_EPOCH must be a whole number of seconds since 1970, not '") + value + "'";
            return false;
        }
        seconds = seconds * 10 + (*p - '0');
    }
    policy->fixed = true;
    policy->epoch = seconds;
    return true;
}

uint32_t DosTimeFromUnix(int64_t seconds, bool utc)
{
    // Outside this range no time zone can bring the moment into 1980..2107.
    if (seconds < 315532800 - 86400)
        return DosFromFields(1979, 1, 1, 0, 0, 0);
    if (seconds > 4354819200LL + 86400)
        return DosFromFields(2108, 1, 1, 0, 0, 0);
    std::time_t t = std::time_t(seconds);
    std::tm parts;
#ifdef _WIN32
    bool ok = (utc ? gmtime_s(&parts, &t) : localtime_s(&parts, &t)) == 0;
#else
    bool ok = (utc ? gmtime_r(&t, &parts) : localtime_r(&t, &parts)) != nullptr;
#endif
    if (!ok)
        return DosFromFields(seconds < 0 ? 1979 : 2108, 1, 1, 0, 0, 0);
    return DosFromFields(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                         parts.tm_sec);
}

void ScanProductFolder(const fs::path& folder, const TimePolicy& policy, std::vector<PlanEntry>* entries,
                       Findings* findings)
{
    WalkState state = {&policy, entries, findings};
    Walk(LongPathForm(folder), std::wstring(), &state);
}

void OrderEntries(std::vector<PlanEntry>* entries, bool nameOrder)
{
    struct Keyed {
        int rank;
        std::wstring extension, folded;
        PlanEntry entry;
    };
    std::vector<Keyed> keyed;
    for (PlanEntry& e : *entries)
        keyed.push_back({2, nameOrder ? std::wstring() : ExtensionOf(e.wideName), FoldCase(e.wideName), e});

    // The script goes first: the setup appends a script's "Group" to a
    // group name it already took from FILE_ID.DIZ. INSTALL.INF at the top
    // is the script when there are several.
    Keyed* script = nullptr;
    for (Keyed& k : keyed)
        if (IsSetupScriptName(k.entry.wideName) &&
            (!script || (k.folded == L"INSTALL.INF") > (script->folded == L"INSTALL.INF") ||
             ((k.folded == L"INSTALL.INF") == (script->folded == L"INSTALL.INF") && k.folded < script->folded)))
            script = &k;
    if (script)
        script->rank = 0;
    for (Keyed& k : keyed)
        if (IsDescriptionName(k.entry.wideName))
            k.rank = 1;

    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.rank != b.rank)
            return a.rank < b.rank;
        if (a.extension != b.extension)
            return a.extension < b.extension;
        if (a.folded != b.folded)
            return a.folded < b.folded;
        return a.entry.name < b.entry.name;
    });
    entries->clear();
    for (Keyed& k : keyed)
        entries->push_back(k.entry);
}

void CheckEntries(const std::vector<PlanEntry>& entries, uint64_t stubSize, Findings* findings)
{
    // Names equal but for case: one file on Windows.
    std::map<std::wstring, const PlanEntry*> byFolded;
    for (const PlanEntry& e : entries) {
        auto inserted = byFolded.emplace(FoldCase(e.wideName), &e);
        if (!inserted.second)
            findings->errors.push_back(Quote(inserted.first->second->wideName) + " and " + Quote(e.wideName) +
                                       " differ only in case; Windows keeps one file for both");
    }

    // Sizes: the setup holds byte counts and file positions in signed
    // 32-bit fields. The total is judged on the uncompressed sizes so that
    // an oversized product is refused before anything is read.
    uint64_t total = stubSize + 7 + 13 + 7;
    for (const PlanEntry& e : entries) {
        if (e.size > kMaxSetupBytes)
            findings->errors.push_back(Display(e.source) + ": is " + Grouped(e.size) +
                                       " bytes; the setup reads files of at most " + Grouped(kMaxSetupBytes) + " bytes");
        total += 32 + e.name.size() + e.size;
    }
    if (total > kMaxSetupBytes)
        findings->errors.push_back("the product's files and the stub come to " + Grouped(total) +
                                   " bytes; a setup can hold at most " + Grouped(kMaxSetupBytes));

    // What the setup reads by name.
    bool description = false, nestedDescription = false;
    std::vector<const PlanEntry*> scripts;
    for (const PlanEntry& e : entries) {
        description = description || IsDescriptionName(e.wideName);
        nestedDescription = nestedDescription || IsDescriptionName(LeafOf(e.wideName));
        if (IsSetupScriptName(e.wideName))
            scripts.push_back(&e);
    }
    if (!description)
        findings->warnings.push_back(std::string("no FILE_ID.DIZ at the top of the product folder") +
                                     (nestedDescription ? " (one in a subfolder is not read)" : "") +
                                     ": the setup will show no product name and version");
    if (scripts.empty())
        findings->warnings.push_back("no setup script (a file whose name ends in \".INF\"): the setup will have no "
                                     "product id and will close no running windows of the product");
    if (scripts.size() > 1) {
        std::string names;
        for (const PlanEntry* s : scripts)
            names += (names.empty() ? "" : ", ") + Quote(s->wideName);
        findings->warnings.push_back("several setup scripts (" + names +
                                     "): the setup reads every one and appends their values");
    }

    // The setup installs every file into one folder.
    std::map<std::wstring, std::vector<const PlanEntry*>> byLeaf;
    for (const PlanEntry& e : entries)
        if (!IsSetupScriptName(e.wideName))
            byLeaf[FoldCase(LeafOf(e.wideName))].push_back(&e);
    for (const auto& group : byLeaf) {
        if (group.second.size() < 2)
            continue;
        std::string names;
        for (const PlanEntry* e : group.second)
            names += (names.empty() ? "" : ", ") + Quote(e->wideName);
        findings->warnings.push_back(names + " have the same file name; the setup installs every file into one "
                                             "folder, so the last of them replaces the others");
    }

    // Language files: the first one in archive order fixes the prefix by
    // which the setup tells language-dependent files from the rest.
    const PlanEntry* first = nullptr;
    std::wstring prefix;
    for (const PlanEntry& e : entries) {
        if (!IsLanguageFileName(e.wideName))
            continue;
        std::wstring leaf = LeafOf(e.wideName);
        if (!IsWellNamedLanguageFile(leaf)) {
            findings->warnings.push_back(Quote(e.wideName) +
                                         " is not named <prefix>_<code>.LNG (a prefix, \"_\", two letters, \".LNG\", "
                                         "at most 31 characters): the setup will not match it to a language");
            continue;
        }
        if (!first) {
            first = &e;
            prefix = LanguagePrefixOf(leaf);
        } else if (FoldCase(LanguagePrefixOf(leaf)) != FoldCase(prefix)) {
            findings->warnings.push_back(Quote(e.wideName) + " does not share the prefix '" + Utf8(prefix) +
                                         "' of the first language file " + Quote(first->wideName) +
                                         ", which the setup takes for every language-dependent file");
        }
    }
}

void CheckContents(const std::vector<PlanEntry>& entries, const std::vector<const std::vector<uint8_t>*>& data,
                   Findings* findings)
{
    const std::vector<uint8_t>* script = nullptr;
    const PlanEntry* scriptEntry = nullptr;
    for (size_t i = 0; i < entries.size(); i++) {
        const PlanEntry& e = entries[i];
        const std::vector<uint8_t>& bytes = *data[i];
        if (!script && IsSetupScriptName(e.wideName)) {
            script = &bytes;
            scriptEntry = &e;
        }
        if (IsDescriptionName(e.wideName)) {
            std::string text(bytes.begin(), bytes.end());
            if (text.find_first_of(std::string("\0\r\n([", 5)) == 0 || text.empty())
                findings->warnings.push_back("FILE_ID.DIZ has no product name on its first line: the setup will show "
                                             "no title and will have no program-group name");
        }
        if (IsLanguageFileName(e.wideName) && LanguageDisplayName(bytes).empty())
            findings->warnings.push_back(Quote(e.wideName) +
                                         " does not begin like a language file (\"[\", then within its first 259 "
                                         "characters \"Language\", one character and a name): the setup will not "
                                         "offer its language");
    }

    std::wstring exeName;
    if (script) {
        std::string text(script->begin(), script->end());
        std::string who = "the setup script " + Quote(scriptEntry->wideName);
        ScriptValue id = ReadScriptValue(text, "ID");
        if (!id.found || id.value.empty())
            findings->warnings.push_back(who + " sets no \"ID\" (the first \"ID\" in it must be followed at once by "
                                               "\"=\" and a value): the setup will remember no destination for the product");
        else if (id.insideWord)
            findings->warnings.push_back(who + ": the first \"ID\" in it is inside another word or line; the setup "
                                               "reads '" + id.value + "' as the product id");
        else if (id.value.size() > 3)
            findings->warnings.push_back(who + ": the \"ID\" '" + id.value + "' is longer than 3 characters; the "
                                               "setup keeps '" + id.value.substr(0, 3) + "'");
        ScriptValue exe = ReadScriptValue(text, "Exe");
        if (exe.found && !exe.value.empty()) {
            std::vector<wchar_t> wide(exe.value.size() + 1);
            AnsiToWide(exe.value.c_str(), wide.data(), wide.size());
            exeName = wide.data();
            bool present = false;
            for (const PlanEntry& e : entries)
                present = present || FoldCase(LeafOf(e.wideName)) == FoldCase(exeName);
            if (!present)
                findings->warnings.push_back(who + " names the main program '" + exe.value +
                                             "', but no file of that name is in the product folder");
        }
    }
    if (exeName.empty()) {
        // Without "Exe", the first file whose name starts with the maker's
        // letter and ends in ".EXE" becomes the main program.
        std::vector<const PlanEntry*> candidates;
        for (const PlanEntry& e : entries) {
            std::wstring leaf = LeafOf(e.wideName);
            if (leaf.size() > 4 && (leaf[0] == L'O' || leaf[0] == L'o') && EndsWithFolded(leaf, L".EXE"))
                candidates.push_back(&e);
        }
        if (candidates.empty())
            findings->warnings.push_back("no main program: the script names no \"Exe\" and no file name starts with "
                                         "\"O\" and ends in \".EXE\"; the setup will make no shortcuts");
        else if (candidates.size() > 1)
            findings->warnings.push_back("several files could be the main program; the setup takes the first in the "
                                         "archive, " + Quote(candidates[0]->wideName) + ", not " +
                                         Quote(candidates[1]->wideName));
    }
}

int64_t FindArchiveMarker(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() >= 7 && std::memcmp(bytes.data(), kMarker, 7) == 0)
        return 0;
    // An old-generation archive is recognised by "RSFX" at offsets 28..31.
    bool oldSignature = bytes.size() >= 32 && std::memcmp(bytes.data() + 28, "RSFX", 4) == 0;
    for (size_t i = 0; i < bytes.size(); i++) {
        if (bytes[i] != 0x52)
            continue;
        if (oldSignature && i + 3 < bytes.size() && std::memcmp(bytes.data() + i + 1, "E~^", 3) == 0)
            return int64_t(i);
        if (i + 9 < bytes.size() && std::memcmp(bytes.data() + i, kMarker, 7) == 0 && bytes[i + 9] == kMainHeaderType)
            return int64_t(i);
    }
    return -1;
}

void CheckStub(const std::vector<uint8_t>& stub, Findings* findings)
{
    int64_t marker = FindArchiveMarker(stub);
    if (marker >= 0)
        findings->errors.push_back("the stub already carries an archive (at offset " + Grouped(uint64_t(marker)) +
                                   "); give the bare setup program");
    if (!stub.empty() && stub.size() < 7)
        findings->errors.push_back("the stub is " + std::to_string(stub.size()) +
                                   " bytes; the setup finds an archive only at offset 0 or from offset 7 on");
    if (stub.size() > kLastArchiveStart)
        findings->errors.push_back("the stub is " + Grouped(stub.size()) + " bytes; the archive behind it must start "
                                   "at offset " + Grouped(kLastArchiveStart) + " or earlier for the setup to find it");
    if (!stub.empty() && (stub.size() < 2 || stub[0] != 'M' || stub[1] != 'Z'))
        findings->warnings.push_back("the stub does not begin with \"MZ\"; the output will not run as a Windows "
                                     "program");
}

bool IsInsideFolder(const fs::path& path, const fs::path& folder)
{
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    fs::path f = fs::weakly_canonical(fs::absolute(folder, ec), ec);
    auto pi = p.begin();
    for (auto fi = f.begin(); fi != f.end(); ++fi) {
        if (fi->empty())
            continue; // a trailing separator
        if (pi == p.end())
            return false;
#ifdef _WIN32
        if (FoldCase(pi->wstring()) != FoldCase(fi->wstring()))
            return false;
#else
        if (*pi != *fi)
            return false;
#endif
        ++pi;
    }
    return true;
}
