#include "tools/mksetup/commands.h"

#include <cstdio>

// Placeholder until the command lands.
int RunBuild(const Arguments&)
{
    std::fputs("mksetup: 'build' is not available in this build\n", stderr);
    return kExitFailure;
}
