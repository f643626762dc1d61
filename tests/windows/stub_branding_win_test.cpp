// A setup built with the vendor's icon and texts, as Windows sees it: the
// system's own version calls read the texts back (from the 64-bit setup and
// the 32-bit one), and the running setup's dialog comes up with the vendor's
// icons in its caption and in the dialog.
#include "tools/mksetup/commands.h"
#include "support/icon_file.h"
#include "ui_window_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

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
                        "--icon", icon.u8string(), "--product-name", u8"Acme W\u00EFdget", "--product-version", "2.5",
                        "--company", "Acme Ltd", "-q"}),
              0);
    return setup;
}

// A text of the file's version block, or (key "") the fixed part's product
// version.
std::wstring VersionString(const fs::path& file, const wchar_t* key)
{
    std::vector<char> block(GetFileVersionInfoSizeW(file.c_str(), nullptr));
    void* value = nullptr;
    UINT length = 0;
    std::wstring path = key[0] ? std::wstring(L"\\StringFileInfo\\000004b0\\") + key : L"\\";
    if (!GetFileVersionInfoW(file.c_str(), 0, DWORD(block.size()), block.data()) ||
        !VerQueryValueW(block.data(), path.c_str(), &value, &length))
        return L"<none>";
    auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
    return key[0] ? static_cast<wchar_t*>(value)
                  : std::to_wstring(fixed->dwProductVersionMS >> 16) + L"." +
                        std::to_wstring(fixed->dwProductVersionMS & 0xFFFF) + L"." +
                        std::to_wstring(fixed->dwProductVersionLS >> 16);
}

// How many of the pixels, from `first` on, show `bgra`.
int Count(const std::vector<uint32_t>& pixels, uint32_t bgra, size_t first = 0)
{
    return int(std::count_if(pixels.begin() + first, pixels.end(), [&](uint32_t p) { return (p ^ bgra) << 8 == 0; }));
}

} // namespace

TEST(StubBranding, TheSystemReadsTheVendorsTexts)
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
        EXPECT_EQ(VersionString(setup, L""), L"2.5.0");
        EXPECT_EQ(VersionString(setup, L"FileVersion"), VersionString(WindowsPath(stub), L"FileVersion"));
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
    RunningProgram program;
    ASSERT_TRUE(program.Start(setup.wstring(), L"Branding"));
    HWND dialog = WaitForProcessWindow(program.Id(), L"#32770", 60000);
    ASSERT_NE(dialog, nullptr);
    // The window as drawn, frame and all, top row first; its client area
    // begins at row `caption`.
    RECT r;
    POINT client = {0, 0};
    GetWindowRect(dialog, &r);
    ClientToScreen(dialog, &client);
    int w = r.right - r.left, h = r.bottom - r.top;
    size_t caption = client.y - r.top;
    BITMAPINFO format = {{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    uint32_t* bits = nullptr;
    HDC canvas = CreateCompatibleDC(nullptr), window = GetWindowDC(dialog);
    SelectObject(canvas,
                 CreateDIBSection(canvas, &format, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0));
    std::vector<uint32_t> shown;
    for (int i = 0; i < 100 && Count(shown, kSmall) + Count(shown, kBig) < 16 * 16 + 32 * 32; i++, Sleep(100)) {
        BitBlt(canvas, 0, 0, w, h, window, 0, 0, SRCCOPY); // until painted
        shown.assign(bits, bits + size_t(w) * h);
    }
    EXPECT_EQ(Count(shown, kSmall) - Count(shown, kSmall, w * caption), 16 * 16); // the caption's icon
    EXPECT_EQ(Count(shown, kBig, w * caption), 32 * 32);                          // the dialog's
    Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_EQ(program.ExitCode(), 0u);
}
