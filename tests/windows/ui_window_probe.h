// Looking at windows from outside, as a person (or a screen reader) would:
// find top-level windows, read their texts, wait for them to come and go.
#ifndef OV_TESTS_WINDOWS_UI_WINDOW_PROBE_H
#define OV_TESTS_WINDOWS_UI_WINDOW_PROBE_H

#include <windows.h>

#include <string>
#include <vector>

// The text of a window of any process (WM_GETTEXT).
std::wstring WindowText(HWND window);

std::wstring WindowClassName(HWND window);

// The first visible top-level window of class `className` that belongs to
// process `processId`, or null.
HWND FindProcessWindow(DWORD processId, const wchar_t* className);

// Polls FindProcessWindow until it finds one or `timeoutMs` has passed.
HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs);

// The texts of all child windows of class "Static" with a non-empty text.
std::vector<std::wstring> StaticTexts(HWND window);

// A program started with CreateProcess; killed if a test leaves it running.
class RunningProgram {
public:
    bool Start(const std::wstring& exe);
    DWORD Id() const { return process_.dwProcessId; }
    // True with the exit code once the program has ended within the time.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
    ~RunningProgram();

private:
    PROCESS_INFORMATION process_ = {};
};

#endif
