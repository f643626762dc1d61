// A setup built with the vendor's icon and texts, as Windows sees it: the
// system's own resource and version calls read them back (from the 64-bit
// setup and, loaded as data, the 32-bit one), and the running setup's
// dialog comes up with the vendor's icon in its caption.
#include "tools/mksetup/commands.h"
#include "support/icon_file.h"
#include "ui_window_probe.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

const uint32_t kBig = 0xFF2040C0, kSmall = 0xFF30A050; // BGRA of the vendor's images

// The product a setup needs to come up: script, description, program.
fs::path BuildSetup(const std::string& stub, const std::wstring& name)
{
    fs::path temp = fs::temp_directory_path(), product = temp / "branding-product", icon = temp / "vendor.ico",
             setup = temp / name;
    fs::create_directories(product);
    std::ofstream(product / "INSTALL.INF", std::ios::binary) << "ID=AW\r\nGroup=Acme Widget\r\n";
    std::ofstream(product / "FILE_ID.DIZ", std::ios::binary) << "Acme Widget Version 2.5\r\n";
    std::ofstream(product / "OACME.EXE", std::ios::binary) << "MZ program";
    std::ofstream(icon, std::ios::binary)
        << testsupport::IconFile({testsupport::IconBitmap(32, kBig), testsupport::IconBitmap(16, kSmall)});
    EXPECT_EQ(RunBuild({product.u8string(), "-o", setup.u8string(), "--stub", fs::path(WindowsPath(stub)).u8string(),
                        "--icon", icon.u8string(), "--product-name",
                        "Acme W\xC3\xAF"
                        "dget",
                        "--product-version", "2.5", "--company", "Acme Ltd", "-q"}),
              0);
    return setup;
}

// A text of the file's version block, or the fixed part's product version.
std::wstring VersionString(const fs::path& file, const wchar_t* key)
{
    std::vector<char> block(GetFileVersionInfoSizeW(file.c_str(), nullptr));
    void* value = nullptr;
    UINT length = 0;
    std::wstring path = key ? std::wstring(L"\\StringFileInfo\\000004b0\\") + key : L"\\";
    if (block.empty() || !GetFileVersionInfoW(file.c_str(), 0, DWORD(block.size()), block.data()) ||
        !VerQueryValueW(block.data(), path.c_str(), &value, &length))
        return L"<none>";
    auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
    return key ? static_cast<wchar_t*>(value)
               : std::to_wstring(fixed->dwProductVersionMS >> 16) + L"." +
                     std::to_wstring(fixed->dwProductVersionMS & 0xFFFF) + L"." +
                     std::to_wstring(fixed->dwProductVersionLS >> 16);
}

// The pixels (top row first) that `draw` paints on a canvas of w x h.
template <typename Draw>
std::vector<uint32_t> Painted(int w, int h, Draw draw)
{
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(dc, bitmap);
    draw(dc);
    std::vector<uint32_t> pixels(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + size_t(w) * h);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return pixels;
}

// How many of the pixels, from `first` on, show `bgra`.
int Count(const std::vector<uint32_t>& pixels, uint32_t bgra, size_t first = 0)
{
    return int(std::count_if(pixels.begin() + first, pixels.end(), [&](uint32_t p) { return (p ^ bgra) << 8 == 0; }));
}

} // namespace

TEST(StubBranding, TheSystemReadsTheVendorsIconAndTexts)
{
    for (const char* stub : {OV_STUB, OV_STUB32}) {
        if (!fs::exists(WindowsPath(stub)))
            continue; // the 32-bit stub comes from the win32 preset
        SCOPED_TRACE(stub);
        fs::path setup = BuildSetup(stub, L"Setup-branded.exe");
        EXPECT_EQ(VersionString(setup, L"ProductName"), L"Acme W\u00EFdget");
        EXPECT_EQ(VersionString(setup, L"FileDescription"), L"Acme W\u00EFdget Setup");
        EXPECT_EQ(VersionString(setup, L"ProductVersion"), L"2.5");
        EXPECT_EQ(VersionString(setup, L"CompanyName"), L"Acme Ltd");
        EXPECT_EQ(VersionString(setup, nullptr), L"2.5.0");
        EXPECT_EQ(VersionString(setup, L"FileVersion"), VersionString(WindowsPath(stub), L"FileVersion"));
        EXPECT_EQ(ExtractIconExW(setup.c_str(), -1, nullptr, nullptr, 0), 1u); // one icon to show
        HMODULE module = LoadLibraryExW(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        for (auto [size, colour] : {std::pair<int, uint32_t>{32, kBig}, {16, kSmall}}) {
            HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
            auto pixels =
                Painted(size, size, [&](HDC dc) { DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL); });
            EXPECT_EQ(Count(pixels, colour), size * size);
            DestroyIcon(icon);
        }
        FreeLibrary(module);
    }
}

TEST(StubBranding, TheSetupComesUpWithTheVendorsIconInItsCaptionAndDialog)
{
    fs::path setup = BuildSetup(OV_STUB, L"Setup-branded-run.exe");
    // On a desktop with a size of its own Wine draws the window frames, and
    // with them the caption's icon.
    ASSERT_EQ(
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", L"Branding", REG_SZ, L"800x600", 16),
        ERROR_SUCCESS);
    HDESK desktop = CreateDesktopW(L"Branding", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    ASSERT_TRUE(desktop && SetThreadDesktop(desktop));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<wchar_t*>(L"Branding");
    std::wstring command = L"\"" + setup.wstring() + L"\"";
    PROCESS_INFORMATION program = {};
    ASSERT_TRUE(
        CreateProcessW(setup.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &program));
    CloseHandle(program.hThread);
    std::unique_ptr<void, void (*)(HANDLE)> ending(program.hProcess, [](HANDLE process) {
        TerminateProcess(process, 99); // fails harmlessly once it has ended
        CloseHandle(process);
    });
    HWND dialog = WaitForProcessWindow(program.dwProcessId, L"#32770", 60000);
    ASSERT_NE(dialog, nullptr);
    // The window as drawn, frame and all; its client area begins at row `caption`.
    RECT r;
    POINT client = {0, 0};
    GetWindowRect(dialog, &r);
    ClientToScreen(dialog, &client);
    size_t w = r.right - r.left, caption = client.y - r.top;
    std::vector<uint32_t> shown;
    for (int i = 0; i < 100 && Count(shown, kSmall) + Count(shown, kBig) < 16 * 16 + 32 * 32;
         i++, Sleep(100)) { // until painted
        shown = Painted(int(w), r.bottom - r.top, [&](HDC dc) {
            HDC window = GetWindowDC(dialog);
            BitBlt(dc, 0, 0, int(w), r.bottom - r.top, window, 0, 0, SRCCOPY);
            ReleaseDC(dialog, window);
        });
    }
    EXPECT_EQ(Count(shown, kSmall) - Count(shown, kSmall, w * caption), 16 * 16); // the caption's icon
    EXPECT_EQ(Count(shown, kBig, w * caption), 32 * 32);                          // the dialog's
    Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_EQ(WaitForSingleObject(program.hProcess, 20000), WAIT_OBJECT_0);
}
