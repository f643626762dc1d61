#include "ui_window_probe.h"

#include <commctrl.h>

#include <algorithm>

std::wstring WindowsPath(const std::string& path)
{
    std::wstring out = path.compare(0, 1, "/") == 0 ? L"Z:" : L"";
    for (char c : path)
        out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

bool RunningProgram::Start(const std::wstring& exe)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"";
    return CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_);
}

bool RunningProgram::WaitForExit(DWORD timeoutMs, DWORD* exitCode)
{
    return WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(process_.hProcess, exitCode);
}

RunningProgram::~RunningProgram()
{
    if (!process_.hProcess)
        return;
    TerminateProcess(process_.hProcess, 99); // fails harmlessly once it has ended
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
}

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
    SendMessageW(button, BM_CLICK, 0, 0);
}

void PressKey(HWND window, WORD key)
{
    SetForegroundWindow(window);
    Sleep(200); // the focus moves over asynchronously
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

std::vector<std::wstring> StaticTexts(HWND window)
{
    std::vector<std::wstring> texts;
    for (HWND child = nullptr; (child = FindWindowExW(window, child, L"Static", nullptr));)
        if (!WindowText(child).empty())
            texts.push_back(WindowText(child));
    return texts;
}

namespace {

// An item record and a text buffer in the list's own process.
struct RemoteItem {
    HANDLE process;
    char* memory;
    explicit RemoteItem(HWND list)
    {
        DWORD id = 0;
        GetWindowThreadProcessId(list, &id);
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
        memory = static_cast<char*>(VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteItem()
    {
        VirtualFreeEx(process, memory, 0, MEM_RELEASE);
        CloseHandle(process);
    }
    LPARAM Send(HWND list, UINT message, WPARAM index, LVITEMW item)
    {
        item.pszText = reinterpret_cast<wchar_t*>(memory + sizeof item);
        WriteProcessMemory(process, memory, &item, sizeof item, nullptr);
        return SendMessageW(list, message, index, reinterpret_cast<LPARAM>(memory));
    }
    std::wstring Text()
    {
        wchar_t text[256] = {0};
        ReadProcessMemory(process, memory + sizeof(LVITEMW), text, sizeof text - 2, nullptr);
        return text;
    }
};

} // namespace

std::vector<std::wstring> ListItems(HWND list)
{
    RemoteItem remote(list);
    std::vector<std::wstring> items;
    for (int i = 0; i < int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); i++) {
        LVITEMW item = {};
        item.iSubItem = 0;
        item.cchTextMax = 255;
        remote.Send(list, LVM_GETITEMTEXTW, i, item);
        items.push_back(remote.Text());
    }
    return items;
}

bool ListItemChecked(HWND list, int index)
{
    return (SendMessageW(list, LVM_GETITEMSTATE, index, LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void SetListItemChecked(HWND list, int index, bool checked)
{
    RemoteItem remote(list);
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    remote.Send(list, LVM_SETITEMSTATE, index, item);
}

MessageBoxWatcher::MessageBoxWatcher(DWORD processId, DWORD timeoutMs, int button)
    : thread_([this, processId, timeoutMs, button, known = ProcessWindows(processId, L"#32770")] {
        HWND box = WaitForProcessWindow(processId, L"#32770", timeoutMs, known);
        if (!box)
            return;
        seen_ = {true, WindowText(box), L"", GetWindow(box, GW_OWNER)};
        for (const std::wstring& text : StaticTexts(box))
            seen_.text += text;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    })
{}

const SeenBox& MessageBoxWatcher::Result()
{
    if (thread_.joinable())
        thread_.join();
    return seen_;
}
