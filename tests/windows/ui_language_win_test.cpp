// The setup's message boxes as they appear on screen: caption, owner, and no
// box when there is nothing to say. (The setup's own texts, the system's
// error texts and the language chosen by the system's: tests/e2e.)
#include "app/ui_language.h"
#include "ui_window_probe.h"

#include <gtest/gtest.h>

namespace {

// What was seen of the box that `show` brings up, if one comes in time
// (it is answered with OK).
template <typename Show>
SeenBox Watch(Show show, DWORD timeoutMs = 90000)
{
    MessageBoxWatcher watcher(GetCurrentProcessId(), timeoutMs);
    show();
    return watcher.Result();
}

} // namespace

// The caption is the file-name part of the source, else the whole source;
// with nothing to say (no text, or no system text for the error) no box.
TEST(MessageBoxes, CaptionFromTheSourceAndNoBoxWithNothingToSay)
{
    const struct {
        const wchar_t *text, *source, *caption; // caption null: no box
    } cases[] = {{L"Hello there", L"C:\\Program Files\\Tool\\Setup.exe", L"Setup.exe"},
                 {L"Hello there", L"C:\\dl\\", L"C:\\dl\\"},
                 {L"Hello there", L"", L""},
                 {L"", L"Setup.exe", nullptr},
                 {nullptr, L"Setup.exe", nullptr}};
    for (const auto& c : cases) {
        SeenBox box =
            Watch([&] { EXPECT_EQ(ShowMessageBox(nullptr, c.text, c.source, MB_OK), c.caption ? IDOK : IDCANCEL); },
                  c.caption ? 90000 : 1500);
        EXPECT_EQ(box.caption + L"|" + box.text, c.caption ? std::wstring(c.caption) + L"|" + c.text : L"|");
    }
    EXPECT_FALSE(Watch([] { EXPECT_EQ(ShowSystemError(nullptr, 0x2000F00D, L"Setup.exe"), IDCANCEL); }, 1500).seen);
    // A system error under the source's file name too (its text: tests/e2e).
    EXPECT_EQ(Watch([] { ShowSystemError(nullptr, ERROR_CANNOT_MAKE, L"C:\\dl\\Setup.exe"); }).caption, L"Setup.exe");
}

TEST(MessageBoxes, TheActiveWindowOwnsABoxWithoutOwner)
{
    auto window = [](DWORD style) {
        return CreateWindowExW(0, L"Static", L"", style, 10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr);
    };
    HWND active = window(WS_OVERLAPPEDWINDOW | WS_VISIBLE), other = window(WS_OVERLAPPEDWINDOW);
    SetForegroundWindow(active);
    ASSERT_EQ(GetActiveWindow(), active);
    EXPECT_EQ(Watch([] { ShowMessageBox(nullptr, L"owned", L"a.exe", MB_OK); }).owner, active);
    EXPECT_EQ(Watch([&] { ShowMessageBox(other, L"owned", L"a.exe", MB_OK); }).owner, other);
    DestroyWindow(other);
    DestroyWindow(active);
}
