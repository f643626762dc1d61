#include "ui_window_probe.h"

#include <commctrl.h>

#include <algorithm>

namespace {

std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className)
{
    std::vector<HWND> found;
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, className, nullptr));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window))
            found.push_back(window);
    }
    return found;
}

// Sends `item` to a list of another process: the record, and the text
// buffer behind it, in memory of that process. Returns the buffer's text.
std::wstring SendItem(HWND list, UINT message, WPARAM index, LVITEMW item)
{
    DWORD id = 0;
    GetWindowThreadProcessId(list, &id);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
    char* memory = static_cast<char*>(VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    item.pszText = reinterpret_cast<wchar_t*>(memory + sizeof item);
    item.cchTextMax = 255;
    WriteProcessMemory(process, memory, &item, sizeof item, nullptr);
    SendMessageW(list, message, index, reinterpret_cast<LPARAM>(memory));
    wchar_t text[256] = {0};
    ReadProcessMemory(process, memory + sizeof item, text, sizeof text - 2, nullptr);
    VirtualFreeEx(process, memory, 0, MEM_RELEASE);
    CloseHandle(process);
    return text;
}

} // namespace

std::wstring WindowsPath(const std::string& path)
{
    std::wstring out = path.compare(0, 1, "/") == 0 ? L"Z:" : L"";
    for (char c : path)
        out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

bool RunningProgram::Start(const std::wstring& exe, const wchar_t* desktop)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<wchar_t*>(desktop);
    std::wstring command = L"\"" + exe + L"\"";
    return CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_);
}

DWORD RunningProgram::ExitCode(DWORD timeoutMs)
{
    DWORD code = 1234;
    if (WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

RunningProgram::~RunningProgram()
{
    TerminateProcess(process_.hProcess, 99); // fails harmlessly once it has ended, or never started
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
}

HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs, const std::vector<HWND>& known)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start <= timeoutMs; Sleep(50))
        for (HWND window : ProcessWindows(processId, className))
            if (std::find(known.begin(), known.end(), window) == known.end())
                return window;
    return nullptr;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {0};
    SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

void SetText(HWND window, const std::wstring& text)
{
    SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(HWND button)
{
    // As a person would: not before the window takes input again. A dialog
    // still disabled by a run whose last message box is closing would take
    // the click inside that box's loop and drop it.
    HWND window = GetAncestor(button, GA_ROOT);
    for (int i = 0; i < 200 && !IsWindowEnabled(window); i++)
        Sleep(50);
    SendMessageW(button, BM_CLICK, 0, 0);
}

void PressKey(HWND window, WORD key)
{
    SetForegroundWindow(window);
    Sleep(200); // the focus moves over asynchronously
    keybd_event(BYTE(key), 0, 0, 0);
    keybd_event(BYTE(key), 0, KEYEVENTF_KEYUP, 0);
}

std::vector<std::wstring> ListItems(HWND list)
{
    std::vector<std::wstring> items;
    for (int i = 0; i < int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); i++)
        items.push_back(SendItem(list, LVM_GETITEMTEXTW, i, {}));
    return items;
}

void UncheckListItem(HWND list, int index)
{
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(1);
    SendItem(list, LVM_SETITEMSTATE, index, item);
}

MessageBoxWatcher::MessageBoxWatcher(DWORD processId, DWORD timeoutMs)
    : thread_([this, processId, timeoutMs, known = ProcessWindows(processId, L"#32770")] {
        HWND box = WaitForProcessWindow(processId, L"#32770", timeoutMs, known);
        if (!box)
            return;
        seen_ = {true, WindowText(box), L"", GetWindow(box, GW_OWNER)};
        for (HWND child = nullptr; (child = FindWindowExW(box, child, L"Static", nullptr));)
            seen_.text += WindowText(child);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    })
{}

const SeenBox& MessageBoxWatcher::Result()
{
    if (thread_.joinable())
        thread_.join();
    return seen_;
}
