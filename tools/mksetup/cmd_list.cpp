#include "tools/mksetup/commands.h"

#include <cstdio>

// Placeholder until the command lands.
int RunList(const Arguments&)
{
    std::fputs("mksetup: 'list' is not available in this build\n", stderr);
    return kExitFailure;
}
