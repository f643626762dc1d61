// mksetup: builds setups from a product folder and reads finished ones.
#include "tools/mksetup/commands.h"

#include <cstdio>
#include <cstring>

static const char kVersion[] = "mksetup 1.10";

static const char kUsage[] =
    "usage: mksetup COMMAND [OPTIONS] ...\n"
    "\n"
    "Commands:\n"
    "  build PRODUCT_DIR -o OUT.exe   make a setup from a product folder\n"
    "  list FILE                      show every entry of a setup or archive\n"
    "  test FILE                      check every entry as the setup does\n"
    "  extract FILE -o DIR            write every entry under DIR\n"
    "\n"
    "Run 'mksetup COMMAND --help' for the options of a command.\n"
    "\n"
    "Options:\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Exit codes: 0 success, 1 damaged or unreadable input or failed work,\n"
    "2 bad command line.\n";

static int Dispatch(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const char* command = argv[1];
    if (!std::strcmp(command, "--help") || !std::strcmp(command, "-h") || !std::strcmp(command, "help")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (!std::strcmp(command, "--version")) {
        std::puts(kVersion);
        return kExitOk;
    }
    Arguments args(argv + 2, argv + argc);
    if (!std::strcmp(command, "list"))
        return RunList(args);
    if (!std::strcmp(command, "test"))
        return RunTest(args);
    if (!std::strcmp(command, "extract"))
        return RunExtract(args);
    if (!std::strcmp(command, "build"))
        return RunBuild(args);
    std::fprintf(stderr, "mksetup: unknown command '%s'\n\n%s", command, kUsage);
    return kExitUsage;
}

#ifdef _WIN32
#include <windows.h>
#include <string>
#include <vector>

// Windows hands the command line over as UTF-16; the commands take UTF-8.
int wmain(int argc, wchar_t** wargv)
{
    std::vector<std::string> storage;
    std::vector<char*> argv;
    for (int i = 0; i < argc; i++) {
        int n = WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string s(n > 0 ? size_t(n - 1) : 0, '\0');
        if (n > 1)
            WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, &s[0], n, nullptr, nullptr);
        storage.push_back(s);
    }
    for (auto& s : storage)
        argv.push_back(&s[0]);
    return Dispatch(argc, argv.data());
}
#else
int main(int argc, char** argv)
{
    return Dispatch(argc, argv);
}
#endif
