// The tool's host layer on Linux and other POSIX systems.
#include "tools/mksetup/host.h"

#include "base/posix_files.h"
#include "base/utf8.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

const bool kHostNamesIgnoreCase = false;

std::vector<std::string> ProcessArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

std::string DisplayPath(const fs::path& path)
{
    return path.native();
}

fs::path LongPathForm(const fs::path& folder)
{
    return folder;
}

bool ComponentToWide(const fs::path& component, std::wstring* wide)
{
    const std::string& bytes = component.native();
    wide->clear();
    for (size_t i = 0; i < bytes.size();) {
        uint32_t c;
        size_t k = DecodeUtf8(bytes.data() + i, bytes.size() - i, &c);
        if (k == 0)
            return false;
        wchar_t units[2];
        wide->append(units, PutWideCodePoint(c, units));
        i += k;
    }
    return true;
}

std::wstring ReaderPath(const fs::path& path)
{
    // Byte for byte: a folder named in Latin-1 is still that folder.
    std::vector<wchar_t> wide(path.native().size() + 1);
    return PathBytesToWide(path.c_str(), wide.data(), wide.size()) ? wide.data() : L"";
}

bool ListFolder(const fs::path& folder, std::vector<fs::path>* children, std::string* error)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        children->push_back(it->path());
    if (ec)
        *error = ec.message();
    return !ec;
}

bool CalendarFields(int64_t seconds, bool utc, DosDateTime* fields)
{
    std::time_t t = std::time_t(seconds);
    std::tm parts;
    if (!(utc ? gmtime_r(&t, &parts) : localtime_r(&t, &parts)))
        return false;
    *fields =
        DosDateTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
    return true;
}

bool ReadFileFacts(const fs::path& file, const std::wstring& leaf, FileFacts* facts, std::string* error)
{
    struct stat st;
    if (stat(file.c_str(), &st) != 0) {
        *error = std::string("cannot read its attributes (") + std::strerror(errno) + ")";
        return false;
    }
    facts->attributes = 0x20;
    if (!(st.st_mode & S_IWUSR))
        facts->attributes |= 0x01;
    // A leading dot hides a file here; Windows needs the attribute for that.
    if (!leaf.empty() && leaf[0] == L'.')
        facts->attributes |= 0x02;
    facts->size = uint64_t(st.st_size);
    // Far outside the format's years the fields do not matter: they clamp.
    if (!CalendarFields(int64_t(st.st_mtime), false, &facts->modified))
        facts->modified = DosDateTime{st.st_mtime < 0 ? 1979 : 2108, 1, 1, 0, 0, 0};
    return true;
}

FILE* OpenHostFile(const fs::path& path, bool write)
{
    if (write)
        return std::fopen(path.c_str(), "wb");
    return OpenRegularFileForReading(path.c_str());
}

namespace {

// A command has at most two temporary files at a time.
char interruptPaths[2][4096];

void RemoveAndDie(int signal)
{
    for (auto& path : interruptPaths)
        if (path[0])
            unlink(path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void RemoveOnInterrupt(const fs::path& path, int slot)
{
    static bool installed = false;
    if (!installed) {
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            std::signal(sig, RemoveAndDie);
        installed = true;
    }
    // A signal in the middle of this copy sees a cut path and removes
    // nothing at all, never another file: the first byte goes last.
    char* target = interruptPaths[slot];
    target[0] = 0;
    const std::string& text = path.native();
    if (!text.empty() && text.size() < sizeof interruptPaths[0]) {
        std::memcpy(target + 1, text.c_str() + 1, text.size());
        target[0] = text[0];
    }
}

int RunProgram(const std::vector<std::string>& args, std::string* output, std::string* error)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        *error = std::strerror(errno);
        return -1;
    }
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t child;
    int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (failed) {
        close(pipeFds[0]);
        *error = failed == ENOENT ? args[0] + " is not installed (not found on the PATH)" : std::strerror(failed);
        return -1;
    }
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            output->append(buffer, size_t(n));
        else if (errno != EINTR)
            break;
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    *error = args[0] + " ended abnormally";
    return -1;
}

bool RenameReplacing(const fs::path& from, const fs::path& to, std::string* error)
{
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    *error = "cannot rename " + DisplayPath(from) + " to " + DisplayPath(to) + " (" + std::strerror(errno) + ")";
    return false;
}

fs::path OwnProgramPath()
{
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : p;
}

unsigned long ProcessId()
{
    return (unsigned long)getpid();
}

bool StderrIsTerminal()
{
    return isatty(fileno(stderr)) != 0;
}
