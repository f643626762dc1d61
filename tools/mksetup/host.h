// What mksetup needs of the system it runs on, one implementation per
// platform (host_posix.cpp, host_win.cpp): file listing and facts, long
// paths, the tool's own location, renaming, the terminal, its arguments.
// Nothing else in the tool includes a system header.
#ifndef OV_TOOLS_MKSETUP_HOST_H
#define OV_TOOLS_MKSETUP_HOST_H

#include "base/dos_time.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// The command-line arguments as UTF-8 (Windows hands them over as UTF-16).
std::vector<std::string> ProcessArguments(int argc, char** argv);

// A path for messages: UTF-8, without the long-path prefix.
std::string DisplayPath(const std::filesystem::path& path);

// A form of `folder` that lifts the classic 260-character limit for the
// paths below it (Windows: "\\?\" and the full path; elsewhere unchanged).
std::filesystem::path LongPathForm(const std::filesystem::path& folder);

// One path component as wide text; false when it has no Unicode meaning
// (on Linux: not valid UTF-8).
bool ComponentToWide(const std::filesystem::path& component, std::wstring* wide);

// The wide path the archive reader takes for a file-system path.
std::wstring ReaderPath(const std::filesystem::path& path);

// True where the file system compares names without regard to case.
extern const bool kHostNamesIgnoreCase;

// The entries of one folder, unordered.
bool ListFolder(const std::filesystem::path& folder, std::vector<std::filesystem::path>* children, std::string* error);

struct FileFacts {
    uint64_t size;
    uint32_t attributes;  // archive, plus read-only and hidden as the system has them
    DosDateTime modified; // in local time, the way the setup turns it back
};

// `leaf` is the file's name, for hosts where the name hides a file.
bool ReadFileFacts(const std::filesystem::path& file, const std::wstring& leaf, FileFacts* facts, std::string* error);

// Calendar fields of a moment in UTC or local time; false when the system
// cannot tell.
bool CalendarFields(int64_t seconds, bool utc, DosDateTime* fields);

// Reading takes regular files only (no FIFO or device, which could block).
FILE* OpenHostFile(const std::filesystem::path& path, bool write);

// While set, the file at `path` is removed when the process is interrupted
// (Ctrl+C, SIGTERM, SIGHUP; console close on Windows); an empty path clears
// it. Two slots, for a file and the one made from it.
void RemoveOnInterrupt(const std::filesystem::path& path, int slot = 0);

// Runs a program found on the PATH with `args` (args[0] is its name) and
// waits for it. Returns its exit code, or -1 when it cannot be started
// (*error says why); its output is kept in *output.
int RunProgram(const std::vector<std::string>& args, std::string* output, std::string* error);

// Renames `from` to `to`, replacing a file there.
bool RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to, std::string* error);

std::filesystem::path OwnProgramPath();
unsigned long ProcessId();
bool StderrIsTerminal();

#endif
