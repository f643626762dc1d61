// mksetup: builds setups from a product folder and reads finished ones.
#include "base/version.h"
#include "tools/mksetup/commands.h"
#include "tools/mksetup/host.h"

#include <cstdio>
#include <string>
#include <vector>

static const char kVersion[] = "mksetup " OV_VERSION_TEXT;

static const char kUsage[] = "usage: mksetup COMMAND [OPTIONS] ...\n"
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

static int Dispatch(const std::vector<std::string>& argv)
{
    if (argv.size() < 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string& command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (command == "--version") {
        std::puts(kVersion);
        return kExitOk;
    }
    Arguments args(argv.begin() + 2, argv.end());
    if (command == "list")
        return RunList(args);
    if (command == "test")
        return RunTest(args);
    if (command == "extract")
        return RunExtract(args);
    if (command == "build")
        return RunBuild(args);
    std::fprintf(stderr, "mksetup: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return kExitUsage;
}

int main(int argc, char** argv)
{
    return Dispatch(ProcessArguments(argc, argv));
}
