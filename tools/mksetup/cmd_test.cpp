#include "tools/mksetup/commands.h"

#include <cstdio>

// Placeholder until the command lands.
int RunTest(const Arguments&)
{
    std::fputs("mksetup: 'test' is not available in this build\n", stderr);
    return kExitFailure;
}
