#include "ui_window_probe.h"

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
