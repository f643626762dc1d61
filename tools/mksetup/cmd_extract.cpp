#include "tools/mksetup/commands.h"

#include <cstdio>

// Placeholder until the command lands.
int RunExtract(const Arguments&)
{
    std::fputs("mksetup: 'extract' is not available in this build\n", stderr);
    return kExitFailure;
}
