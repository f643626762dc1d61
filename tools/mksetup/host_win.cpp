// The tool's host layer on Windows: the system's own calls, wide paths.
#include "tools/mksetup/host.h"

#include <windows.h>
#include <shellapi.h>
#include <io.h>
#include <process.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <system_error>

namespace fs = std::filesystem;

const bool kHostNamesIgnoreCase = true;

static std::string Utf8OfWide(const wchar_t* text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? size_t(n - 1) : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &s[0], n, nullptr, nullptr);
    return s;
}

std::vector<std::string> ProcessArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; i++)
        args.push_back(Utf8OfWide(wide[i]));
    LocalFree(wide);
    return args;
}

std::string DisplayPath(const fs::path& path)
{
    std::string text = path.u8string();
    if (text.compare(0, 8, "\\\\?\\UNC\\") == 0)
        return "\\" + text.substr(7);
    if (text.compare(0, 4, "\\\\?\\") == 0)
        return text.substr(4);
    return text;
}

fs::path LongPathForm(const fs::path& folder)
{
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
}

bool ComponentToWide(const fs::path& component, std::wstring* wide)
{
    *wide = component.wstring();
    return true;
}

std::wstring ReaderPath(const fs::path& path)
{
    return path.wstring();
}

// The system's own listing: the runtime's directory iteration is bound to
// the classic path length.
bool ListFolder(const fs::path& folder, std::vector<fs::path>* children, std::string* error)
{
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
}

bool CalendarFields(int64_t seconds, bool utc, DosDateTime* fields)
{
    std::time_t t = std::time_t(seconds);
    std::tm parts;
    if ((utc ? gmtime_s(&parts, &t) : localtime_s(&parts, &t)) != 0)
        return false;
    *fields =
        DosDateTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
    return true;
}

bool ReadFileFacts(const fs::path& file, const std::wstring&, FileFacts* facts, std::string* error)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        *error = "cannot read its attributes (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    facts->attributes = 0x20 | (data.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    facts->size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // The setup turns the stored time back with the system's own local time
    // conversion, so the same conversion is used here.
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &st)) {
        *error = "cannot read its modification time";
        return false;
    }
    facts->modified = DosDateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
    return true;
}

FILE* OpenHostFile(const fs::path& path, bool write)
{
    return _wfopen(path.c_str(), write ? L"wb" : L"rb");
}

namespace {

wchar_t interruptPaths[2][32768];

BOOL WINAPI RemoveOnControl(DWORD)
{
    for (auto& path : interruptPaths)
        if (path[0])
            DeleteFileW(path);
    return FALSE; // the default handler ends the process
}

// One argument as the C runtime of the started program splits it again.
std::wstring Quoted(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            slashes++;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

} // namespace

void RemoveOnInterrupt(const fs::path& path, int slot)
{
    static bool installed = false;
    if (!installed)
        installed = SetConsoleCtrlHandler(RemoveOnControl, TRUE) != 0;
    wchar_t* target = interruptPaths[slot];
    target[0] = 0;
    const std::wstring& text = path.native();
    if (!text.empty() && text.size() < sizeof interruptPaths[0] / sizeof(wchar_t)) {
        std::memcpy(target + 1, text.c_str() + 1, text.size() * sizeof(wchar_t));
        target[0] = text[0];
    }
}

int RunProgram(const std::vector<std::string>& args, std::string*, std::string* error)
{
    std::vector<std::wstring> quoted;
    for (const std::string& a : args)
        quoted.push_back(Quoted(fs::u8path(a).wstring()));
    std::vector<const wchar_t*> argv;
    for (const std::wstring& q : quoted)
        argv.push_back(q.c_str());
    argv.push_back(nullptr);
    intptr_t code = _wspawnvp(_P_WAIT, argv[0], argv.data());
    if (code == -1)
        *error = errno == ENOENT ? args[0] + " is not installed (not found on the PATH)" : std::strerror(errno);
    return int(code);
}

bool RenameReplacing(const fs::path& from, const fs::path& to, std::string* error)
{
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    *error = "cannot rename " + DisplayPath(from) + " to " + DisplayPath(to) + " (error " +
             std::to_string(GetLastError()) + ")";
    return false;
}

fs::path OwnProgramPath()
{
    std::vector<wchar_t> buffer(32768);
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    return n > 0 && n < buffer.size() ? fs::path(buffer.data()) : fs::path();
}

unsigned long ProcessId()
{
    return (unsigned long)_getpid();
}

bool StderrIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}
