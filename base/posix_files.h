// File opening that only POSIX systems need, shared by the reader's platform
// layer and the tool's host layer.
#ifndef OV_BASE_POSIX_FILES_H
#define OV_BASE_POSIX_FILES_H

#include <stdio.h>

// Opens `path` (the system's bytes) for binary reading when it is a regular
// file. A folder opens fine on Linux and a FIFO would wait for a writer, so
// the file is opened without waiting and anything else is refused (errno
// EINVAL). Null on failure.
FILE* OpenRegularFileForReading(const char* path);

#endif
