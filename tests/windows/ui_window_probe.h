// Driving a program from outside, as a person would: start it, find its
// windows, read and set their texts, click, type, answer its message boxes.
#ifndef OV_TESTS_WINDOWS_UI_WINDOW_PROBE_H
#define OV_TESTS_WINDOWS_UI_WINDOW_PROBE_H

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

// A Unix path (as CMake gives it) as a path on Wine's Z: drive.
std::wstring WindowsPath(const std::string& path);

// A program started with CreateProcess, on `desktop` if one is named; killed
// if a test leaves it running.
class RunningProgram {
public:
    bool Start(const std::wstring& exe, const wchar_t* desktop = nullptr);
    DWORD Id() const { return process_.dwProcessId; }
    // The exit code once the program has ended within the time, else 1234.
    DWORD ExitCode(DWORD timeoutMs = 20000);
    ~RunningProgram();

private:
    PROCESS_INFORMATION process_ = {};
};

// The first visible top-level window of class `className` ("#32770":
// dialogs and message boxes) of process `processId` not in `known`, waited
// for up to `timeoutMs` (null if none comes).
HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs,
                          const std::vector<HWND>& known = {});

// These work across processes, through the windows' own messages.
std::wstring WindowText(HWND window);
void SetText(HWND window, const std::wstring& text);
void Click(HWND button);
void PressKey(HWND window, WORD key); // brings the window to the front first

// A list view of another process, through its own messages: the item
// records travel through memory allocated in that process.
std::vector<std::wstring> ListItems(HWND list);
void UncheckListItem(HWND list, int index);

struct SeenBox {
    bool seen = false;
    std::wstring caption, text; // the text: its "Static" children's, joined
    HWND owner = nullptr;
};

// Waits on its own thread for a message box of process `processId` that was
// not there at construction, records it and answers it with OK.
class MessageBoxWatcher {
public:
    MessageBoxWatcher(DWORD processId, DWORD timeoutMs);
    ~MessageBoxWatcher() { Result(); }
    const SeenBox& Result(); // once the watch is over

private:
    SeenBox seen_;
    std::thread thread_;
};

#endif
