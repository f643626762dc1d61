// The commands of mksetup. Each takes the arguments after the command name
// and returns the process exit code (see kUsage in main.cpp).
#ifndef OV_TOOLS_MKSETUP_COMMANDS_H
#define OV_TOOLS_MKSETUP_COMMANDS_H

#include <string>
#include <vector>

enum ExitCode {
    kExitOk = 0,
    kExitFailure = 1, // the file is damaged, unreadable, or the work failed
    kExitUsage = 2,   // bad command line
};

using Arguments = std::vector<std::string>;

int RunList(const Arguments& args);
int RunTest(const Arguments& args);
int RunExtract(const Arguments& args);
int RunBuild(const Arguments& args);

#endif
