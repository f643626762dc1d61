// The complete setup, end to end under Wine: the sample product packed by
// mksetup behind the real 64-bit Setup.exe, driven from this process as a
// person would (texts typed, boxes clicked, list items unchecked through the
// list's own messages, message boxes answered), then the installed files,
// registry values and links checked. Each scenario runs in a fresh system of
// its own (scripts/wine-scenario.sh).
//
//   setup_e2e_test --stub=SETUP.EXE --programs=DIR --product=DIR [--language=US|DE|IT]
//   setup_e2e_test --demo=SETUP.EXE --pause-dir=DIR [--install]
//       the main job's run, held at each window for a screenshot (see Demo)
#include "app/ui_language_tables.h"
#include "archive/archive_pass.h"
#include "tools/mksetup/commands.h"
#include "windows/ui_window_probe.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> option = {{"--language", "US"}}; // --name=value of the command line
const wchar_t* const kDestination = L"C:\\Program Files\\Orvanex Demo";
const wchar_t* const kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvanex Demo";

std::vector<uint8_t> Bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::vector<uint8_t>& bytes, size_t size)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), size);
}

std::wstring Text(uint16_t id)
{
    wchar_t text[600];
    LookupUiText(FindUiLanguage(option["--language"].c_str()), id, text, 600);
    return text;
}

std::wstring SystemText(DWORD code)
{
    wchar_t text[512] = {0};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 511, nullptr);
    return text;
}

fs::path Temp(const std::wstring& name)
{
    return fs::temp_directory_path() / name;
}

// The sample product (plus `extra` files) packed behind the stub.
fs::path BuildSetup(const std::vector<std::pair<std::string, std::string>>& extra = {})
{
    fs::path product = Temp(L"e2e-product"), setup = Temp(L"Setup-e2e.exe");
    fs::remove_all(product);
    fs::create_directories(product);
    fs::copy(WindowsPath(option["--product"]), product, fs::copy_options::recursive);
    for (const char* program : {"OVDEMO.EXE", "UnInst.exe"})
        fs::copy_file(fs::path(WindowsPath(option["--programs"])) / program, product / program);
    for (const auto& file : extra)
        std::ofstream(product / file.first, std::ios::binary) << file.second;
    int built = RunBuild({product.u8string(), "-o", setup.u8string(), "--stub",
                          fs::path(WindowsPath(option["--stub"])).u8string(), "-q"});
    EXPECT_EQ(built, 0);
    return setup;
}

struct RunningSetup : RunningProgram {
    HWND dialog = nullptr;
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    bool Start(const fs::path& exe)
    {
        if (!RunningProgram::Start(exe.wstring()))
            return false;
        dialog = WaitForProcessWindow(Id(), L"#32770", 60000);
        return dialog && Item(IDC_COMPONENT_LIST);
    }
    bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    // OK, and the message box that answers it.
    SeenBox Install(DWORD timeoutMs = 60000)
    {
        MessageBoxWatcher box(Id(), timeoutMs);
        // Posted: a run that never returns must fail the test, not hang it.
        PostMessageW(Item(IDC_OK_BUTTON), BM_CLICK, 0, 0);
        return box.Result();
    }
};

// Whether a link file carries `target` (as its path string, 8-bit as Wine
// writes it).
bool LinksTo(const fs::path& link, const fs::path& target)
{
    std::vector<uint8_t> bytes = Bytes(link);
    return std::string(bytes.begin(), bytes.end()).find(target.string() + '\0') != std::string::npos;
}

std::wstring Registry(HKEY root, const wchar_t* key, const wchar_t* value)
{
    wchar_t data[MAX_PATH] = {0};
    DWORD size = sizeof data;
    return RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, data, &size) == ERROR_SUCCESS ? data : L"<none>";
}

fs::path SpecialPath(int csidl, const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    SHGetFolderPathW(nullptr, csidl, nullptr, 0, path);
    return fs::path(path) / name;
}

fs::path Programs()
{
    return SpecialPath(CSIDL_COMMON_PROGRAMS, L"Orvanex Demo");
}

// After a failed run: no remembered destination, uninstall entry or link.
void ExpectNothingClaimsAnInstall()
{
    EXPECT_EQ(Registry(HKEY_CURRENT_USER, L"Software\\Orvanex", L"OD"), L"<none>");
    EXPECT_EQ(Registry(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"), L"<none>");
    EXPECT_FALSE(fs::exists(Programs()));
    EXPECT_FALSE(fs::exists(SpecialPath(CSIDL_DESKTOPDIRECTORY, L"Orvanex Demo.lnk")));
}

// Where the largest entry of a setup begins, and the middle of its data,
// where a change hits an entry's bytes rather than a header.
std::pair<size_t, size_t> LargestEntry(const fs::path& exe)
{
    EntryHeaderInfo largest = {};
    auto larger = [](const EntryHeaderInfo* info, void* best) {
        if (info->packSize > static_cast<EntryHeaderInfo*>(best)->packSize)
            *static_cast<EntryHeaderInfo*>(best) = *info;
        return 0;
    };
    WalkArchiveHeaders(exe.c_str(), larger, &largest);
    EXPECT_GT(largest.packSize, 100u);
    return {largest.blockPos, largest.blockPos + 32 + strlen(largest.name) + largest.packSize / 2};
}

// Every product file but the script and the excluded ones, with its bytes,
// the archive attribute and (with `times`) its time.
void ExpectInstalled(const std::vector<std::wstring>& excluded, bool times = true)
{
    for (const auto& entry : fs::recursive_directory_iterator(Temp(L"e2e-product"))) {
        if (!entry.is_regular_file())
            continue;
        std::wstring name = entry.path().filename().wstring();
        fs::path installed = fs::path(kDestination) / name;
        bool wanted = name != L"INSTALL.INF" && std::find(excluded.begin(), excluded.end(), name) == excluded.end();
        EXPECT_EQ(fs::exists(installed), wanted) << installed;
        if (!wanted || !fs::exists(installed))
            continue;
        EXPECT_EQ(Bytes(installed), Bytes(entry.path())) << installed;
        auto drift = fs::last_write_time(installed) - fs::last_write_time(entry.path());
        EXPECT_TRUE(!times || std::chrono::abs(drift) <= std::chrono::seconds(2)) << installed;
        EXPECT_TRUE(GetFileAttributesW(installed.c_str()) & FILE_ATTRIBUTE_ARCHIVE) << installed;
    }
}

// In the system's language: the dialog centred, with the texts of the
// setup's own tables and the caption ending with the product's title; the
// Italian files unchosen, OK, and the rest installed, remembered and linked.
void FreshInstall(const fs::path& exe)
{
    fs::path destination(kDestination);
    RunningSetup setup;
    ASSERT_TRUE(setup.Start(exe));
    RECT screen, own;
    GetWindowRect(GetDesktopWindow(), &screen);
    GetWindowRect(setup.dialog, &own);
    EXPECT_EQ(own.left, ((screen.right - screen.left) - (own.right - own.left)) / 2);
    EXPECT_EQ(own.top, ((screen.bottom - screen.top) - (own.bottom - own.top)) / 2);
    const std::wstring caption = Text(kTextCaption) + L" Orvanex Demo 1.0";
    EXPECT_EQ(WindowText(setup.dialog), caption);
    for (int id : {IDC_OK_BUTTON, IDC_CANCEL_BUTTON, IDC_DESTINATION_LABEL, IDC_PROGRAM_GROUP_BOX, IDC_DESKTOP_BOX,
                   IDC_QUICK_LAUNCH_BOX})
        EXPECT_EQ(WindowText(setup.Item(id)), Text(uint16_t(id))) << id;
    EXPECT_EQ(WindowText(setup.Item(IDC_DESTINATION_EDIT)), kDestination);
    EXPECT_TRUE(setup.Checked(IDC_PROGRAM_GROUP_BOX) && setup.Checked(IDC_DESKTOP_BOX));
    EXPECT_FALSE(IsWindowVisible(setup.Item(IDC_QUICK_LAUNCH_BOX))); // a fresh prefix has no Quick Launch
    std::vector<std::wstring> items = {Text(kTextEnglishItem), Text(kTextGermanItem), L"Italian "};
    std::sort(items.begin(), items.end());
    EXPECT_EQ(ListItems(setup.Item(IDC_COMPONENT_LIST)), items);
    UncheckListItem(setup.Item(IDC_COMPONENT_LIST),
                    int(std::find(items.begin(), items.end(), L"Italian ") - items.begin()));

    SeenBox box = setup.Install();
    EXPECT_EQ(box.text, L"Orvanex Demo" + Text(kTextSuccessTail));
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(setup.ExitCode(), 0u);
    ExpectInstalled({L"OVDEMO_IT.LNG", L"OVDEMO_IT.TXT"});
    EXPECT_EQ(Registry(HKEY_CURRENT_USER, L"Software\\Orvanex", L"OD"), kDestination);
    EXPECT_EQ(Registry(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"), (destination / L"UnInst.exe").wstring());
    EXPECT_EQ(Registry(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Orvanex Demo");
    EXPECT_EQ(Registry(HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher"), L"Orvanex");
    for (auto link : {std::make_pair(L"Orvanex Demo.lnk", L"OVDEMO.EXE"),
                      std::make_pair(L"Uninstall.lnk", L"UnInst.exe"), std::make_pair(L"License.lnk", L"LICENSE.TXT"),
                      std::make_pair(L"Order.lnk", L"ORDER.HTM"), std::make_pair(L"Bestellung.lnk", L"BESTELL.HTM")})
        EXPECT_TRUE(LinksTo(Programs() / link.first, destination / link.second)) << link.first;
    EXPECT_TRUE(LinksTo(SpecialPath(CSIDL_DESKTOPDIRECTORY, L"Orvanex Demo.lnk"), destination / L"OVDEMO.EXE"));
}

// Waits for `pauseDir\<step>.done`, after telling where the window is, so a
// script can take a screenshot of it.
void Pause(const std::string& pauseDir, const char* step, HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    printf("%s shown at %ld %ld %ld %ld\n", step, r.left, r.top, r.right - r.left, r.bottom - r.top);
    fflush(stdout);
    fs::path done = fs::path(WindowsPath(pauseDir)) / (std::string(step) + ".done");
    for (int i = 0; i < 6000 && !fs::exists(done); i++)
        Sleep(50);
}

// The main job's run of a setup: its dialog, then (with `install`) OK and
// the success message, each held for a screenshot; exit code 0 when the
// setup ended with 0 (and installed, when asked to).
int Demo(const std::string& exe, const std::string& pauseDir, bool install)
{
    RunningSetup setup;
    if (!setup.Start(fs::path(WindowsPath(exe)))) {
        fprintf(stderr, "no setup dialog\n");
        return 1;
    }
    Pause(pauseDir, "dialog", setup.dialog);
    if (!install) {
        Click(setup.Item(IDC_CANCEL_BUTTON));
        return setup.ExitCode() == 0 ? 0 : 1;
    }
    PostMessageW(setup.Item(IDC_OK_BUTTON), BM_CLICK, 0, 0);
    HWND box = WaitForProcessWindow(setup.Id(), L"#32770", 120000, {setup.dialog});
    if (!box) {
        fprintf(stderr, "no message after OK\n");
        return 1;
    }
    Pause(pauseDir, "success", box);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return setup.ExitCode() == 0 ? 0 : 1;
}

} // namespace

// In English the update scenario's first run is this one.
TEST(Scenario, SpeaksTheSystemLanguage)
{
    FreshInstall(BuildSetup());
}

// Signed after it was built: the signature is no part of the payload.
TEST(Scenario, SignedSetupInstalls)
{
    BuildSetup(); // the product the signed setup was made of, for the comparison
    RunningSetup setup;
    ASSERT_TRUE(setup.Start(WindowsPath(option["--signed"])));
    EXPECT_EQ(setup.Install().text, L"Orvanex Demo" + Text(kTextSuccessTail));
    ExpectInstalled({}, false); // it was made in another system's time zone
}

TEST(Scenario, UpdateKeepsTheInstalledChoices)
{
    fs::path exe = BuildSetup();
    FreshInstall(exe);
    ASSERT_FALSE(HasFailure());
    std::ofstream(fs::path(kDestination) / L"PSAPI.DLL") << "an old copy";
    fs::remove(Programs() / L"Order.lnk");

    RunningSetup update;
    ASSERT_TRUE(update.Start(exe));
    EXPECT_EQ(WindowText(update.Item(IDC_DESTINATION_EDIT)), kDestination);
    for (int box : {IDC_PROGRAM_GROUP_BOX, IDC_DESKTOP_BOX, IDC_QUICK_LAUNCH_BOX})
        EXPECT_FALSE(update.Checked(box)) << box;
    EXPECT_TRUE(IsWindowVisible(update.Item(IDC_QUICK_LAUNCH_BOX)));
    HWND list = update.Item(IDC_COMPONENT_LIST); // English, German, Italian: checked, checked, not
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK) >> 12, i < 2 ? 2 : 1) << i;
    Click(update.Item(IDC_PROGRAM_GROUP_BOX)); // an existing group is left alone
    update.Install();
    EXPECT_EQ(update.ExitCode(), 0u);
    EXPECT_EQ(Bytes(fs::path(kDestination) / L"OVPSAPI.DLL").size(), 11u);
    EXPECT_FALSE(fs::exists(Programs() / L"Order.lnk"));
    EXPECT_FALSE(fs::exists(fs::path(kDestination) / L"OVDEMO_IT.LNG"));
}

TEST(Scenario, DamagedPayloadIsReportedAtStart)
{
    // One byte changed in the middle of the largest entry's data, as a bad
    // download would.
    fs::path exe = BuildSetup();
    std::vector<uint8_t> bytes = Bytes(exe);
    bytes[LargestEntry(exe).second] ^= 0x55;
    Write(exe, bytes, bytes.size());
    RunningProgram setup;
    ASSERT_TRUE(setup.Start(exe.wstring()));
    MessageBoxWatcher broken(setup.Id(), 60000);
    EXPECT_EQ(broken.Result().text, Text(kTextBrokenFile));
    EXPECT_EQ(broken.Result().caption, exe.filename().wstring());
    EXPECT_EQ(setup.ExitCode(), 0u);
    EXPECT_FALSE(fs::exists(kDestination));
}

TEST(Scenario, RunningProductWindowIsClosedAtStart)
{
    fs::path exe = BuildSetup();
    RunningProgram product;
    ASSERT_TRUE(product.Start((fs::path(WindowsPath(option["--programs"])) / L"OVDEMO.EXE").wstring()));
    ASSERT_TRUE(WaitForProcessWindow(product.Id(), L"OrvanexDemoWindow", 10000));
    RunningSetup setup;
    ASSERT_TRUE(setup.Start(exe));
    EXPECT_EQ(product.ExitCode(), 0u);
}

TEST(Scenario, TemporaryFolderRouteWhenATargetIsHeld)
{
    // A large entry keeps the second pass busy long enough to let go of the
    // held file before the move.
    std::string large(8 << 20, '\0');
    for (size_t i = 0; i < large.size(); i++)
        large[i] = char((i * 2654435761u) >> 13);
    fs::path exe = BuildSetup({{"ZLARGE.DAT", large}});
    const std::wstring taken = L"123456789"; // left by others: files and folders; the setup's is "a"
    for (wchar_t c : taken)
        if (c % 2)
            fs::create_directories(Temp({c}) / L"kept");
        else
            std::ofstream(Temp({c})) << "kept";
    fs::create_directories(kDestination);
    fs::path held = fs::path(kDestination) / L"OVDEMO.EXE";
    std::ofstream(held) << "in use";
    HANDLE handle = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);

    RunningSetup setup;
    ASSERT_TRUE(setup.Start(exe));
    bool tempFolderSeen = false;
    std::thread release([&] {
        for (int i = 0; i < 6000 && !tempFolderSeen; i++, Sleep(1))
            tempFolderSeen = fs::exists(Temp(L"a"));
        CloseHandle(handle);
        // While files are written, nothing starts a second run or ends the
        // dialog.
        PostMessageW(setup.dialog, WM_COMMAND, IDC_OK_BUTTON, 0);
        PostMessageW(setup.dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageW(setup.dialog, WM_CLOSE, 0, 0);
    });
    SeenBox box = setup.Install();
    release.join();
    EXPECT_TRUE(tempFolderSeen);
    EXPECT_EQ(box.text, L"Orvanex Demo" + Text(kTextSuccessTail));
    EXPECT_EQ(setup.ExitCode(), 0u);
    // An update: the language that was not installed stays unchosen.
    ExpectInstalled({L"OVDEMO_IT.LNG", L"OVDEMO_IT.TXT"});
    EXPECT_FALSE(fs::exists(fs::path(kDestination) / L"Orvanex Demo")); // merged, not nested
    EXPECT_FALSE(fs::exists(Temp(L"a")));
    for (wchar_t c : taken)
        EXPECT_TRUE(fs::exists(c % 2 ? Temp({c}) / L"kept" : Temp({c}))) << char(c);
}

TEST(Scenario, RunsThatCannotInstallLoseNothingClaimNothingAndKeepTheDialog)
{
    fs::path exe = BuildSetup();
    std::vector<uint8_t> original = Bytes(exe);
    auto [largest, middle] = LargestEntry(exe);
    std::ofstream("C:\\data.txt") << "mine";
    fs::create_directories(fs::path(kDestination) / L"LICENSE.TXT");
    std::ofstream(fs::path(kDestination) / L"LICENSE.TXT" / L"mine.txt") << "mine";
    fs::create_directories("C:\\Held");
    std::ofstream("C:\\Held\\OVDEMO.EXE") << "in use";
    HANDLE held = CreateFileW(L"C:\\Held\\OVDEMO.EXE", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    // No destination; a file, below a file, on no drive; a folder where
    // LICENSE.TXT goes; a file held open throughout; a fresh folder while
    // the setup's own file is damaged.
    const struct {
        const wchar_t* destination;
        char damage = 0; // after the dialog appeared: 'c' cut inside a header, 'x' a byte of data changed
    } runs[] = {{L""},          {L"C:\\data.txt"}, {L"C:\\data.txt\\Demo"}, {L"Q:\\Demo"},
                {kDestination}, {L"C:\\Held"},     {L"C:\\New\\Demo", 'c'}, {L"C:\\New\\Demo", 'x'}};
    for (int i = 0; i < int(std::size(runs)); i++) {
        Write(exe, original, original.size());
        RunningSetup setup;
        ASSERT_TRUE(setup.Start(exe));
        SetText(setup.Item(IDC_DESTINATION_EDIT), runs[i].destination);
        if (runs[i].damage) {
            // Like Windows, Wine lets nobody write a running program's file,
            // but it may be renamed and a changed copy put in its place.
            std::vector<uint8_t> bytes = original;
            if (runs[i].damage == 'x')
                bytes[middle] ^= 0x55;
            fs::rename(exe, Temp(L"running" + std::to_wstring(i)));
            Write(exe, bytes, runs[i].damage == 'c' ? largest + 10 : bytes.size());
        }
        SeenBox box = setup.Install(runs[i].destination[0] ? 60000 : 2000);
        EXPECT_EQ(box.seen, runs[i].destination[0] != 0) << i;
        if (box.seen) {
            EXPECT_EQ(box.text, runs[i].damage ? Text(kTextBrokenFile) : SystemText(ERROR_CANNOT_MAKE)) << i;
            EXPECT_EQ(box.caption, runs[i].damage ? exe.filename().wstring() : L"") << i;
        }
        EXPECT_TRUE(IsWindowVisible(setup.dialog)) << i;
        if (i % 3 == 0)
            Click(setup.Item(IDC_CANCEL_BUTTON));
        else if (i % 3 == 1)
            PressKey(setup.dialog, VK_ESCAPE);
        else // what the window manager sends when the close box is clicked
            PostMessageW(setup.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(setup.ExitCode(), 0u) << i;
    }
    EXPECT_EQ(Bytes("C:\\data.txt").size(), 4u);
    EXPECT_TRUE(fs::exists(fs::path(kDestination) / L"LICENSE.TXT" / L"mine.txt"));
    EXPECT_FALSE(fs::exists("C:\\New"));        // made by the failed runs, removed by them
    EXPECT_FALSE(fs::exists("C:\\Held\\Held")); // what the move left is not nested in the folder
    CloseHandle(held);
    ExpectNothingClaimsAnInstall();
}

TEST(Scenario, FullDiskIsReportedAsSuch)
{
    if (GetDriveTypeW(L"X:\\") == DRIVE_NO_ROOT_DIR)
        GTEST_SKIP() << "no small drive X: (scripts/wine-scenario.sh maps one)";
    RunningSetup setup;
    ASSERT_TRUE(setup.Start(BuildSetup({{"ZLARGE.DAT", std::string(1 << 20, 'x')}})));
    SetText(setup.Item(IDC_DESTINATION_EDIT), L"X:\\Orvanex Demo");
    SeenBox box = setup.Install();
    EXPECT_EQ(box.text, SystemText(ERROR_DISK_FULL));
    EXPECT_EQ(box.caption, L"");
    EXPECT_TRUE(IsWindowVisible(setup.dialog));
    EXPECT_FALSE(fs::exists(L"X:\\Orvanex Demo"));
    ExpectNothingClaimsAnInstall();
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        size_t equals = arg.find('=');
        option[arg.substr(0, equals)] = equals == std::string::npos ? "" : arg.substr(equals + 1);
    }
    if (option.count("--demo"))
        return Demo(option["--demo"], option["--pause-dir"], option.count("--install"));
    return RUN_ALL_TESTS();
}
