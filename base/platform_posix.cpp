// POSIX side of the platform layer: Windows-1252 as the ANSI code page,
// UTF-8 file names, POSIX file calls.
#include "base/platform.h"
#include "base/posix_files.h"

#include "base/cp1252.h"
#include "base/dos_time.h"
#include "base/text_utils.h"
#include "base/utf8.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utime.h>

size_t PlatformAnsiToWide(const char* source, size_t count, wchar_t* dest, size_t capacity)
{
    size_t n = count < capacity ? count : capacity;
    for (size_t i = 0; i < n; i++)
        dest[i] = Cp1252ToWide((unsigned char)source[i]);
    return n;
}

size_t PlatformWideToAnsi(const wchar_t* source, size_t count, char* dest, size_t capacity)
{
    size_t n = count < capacity ? count : capacity;
    for (size_t i = 0; i < n; i++) {
        int b = WideToCp1252(source[i]);
        dest[i] = char(b < 0 ? '?' : b);
    }
    return n;
}

bool PlatformIsAnsiRepresentable(const wchar_t* text)
{
    for (; text && *text; text++)
        if (WideToCp1252(*text) < 0)
            return false;
    return true;
}

// Encodes a wide path as UTF-8 for the POSIX calls. Paths are bounded by the
// callers' 260-character buffers, so a fixed buffer suffices. Names that
// are no UTF-8 make the round trip (see WidePathToBytes).
struct Utf8Path {
    char text[kPathCapacity * 4 + 1];
};

static bool ToUtf8(const wchar_t* path, Utf8Path* out)
{
    return WidePathToBytes(path, out->text, sizeof out->text) && out->text[0] != 0;
}

uint8_t* AllocateWindowMemory(size_t size)
{
    // Fresh pages come zero-filled, with no pass over them; aligned to the
    // size (the surplus of a mapping twice as large is given back), so that
    // the system can back them with large pages.
    void* mapped = mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    uintptr_t aligned = (start + size - 1) & ~uintptr_t(size - 1);
    if (aligned > start)
        munmap(mapped, aligned - start);
    if (aligned + size < start + 2 * size)
        munmap(reinterpret_cast<void*>(aligned + size), start + 2 * size - aligned - size);
    uint8_t* memory = reinterpret_cast<uint8_t*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(memory, size, MADV_HUGEPAGE);
#endif
    return memory;
}

void FreeWindowMemory(uint8_t* memory, size_t size)
{
    if (memory)
        munmap(memory, size);
}

FILE* OpenArchiveStream(const wchar_t* path)
{
    Utf8Path p;
    if (!ToUtf8(path, &p))
        return nullptr;
    return OpenRegularFileForReading(p.text);
}

FILE* OpenRegularFileForReading(const char* path)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* f = fdopen(fd, "rb");
    if (!f)
        close(fd);
    return f;
}

FILE* CreateOutputStream(const wchar_t* path)
{
    Utf8Path p;
    if (!ToUtf8(path, &p))
        return nullptr;
    // A read-only file is refused, as Windows refuses to truncate it (root
    // could write it regardless, so the mode bits are checked directly).
    struct stat st;
    if (stat(p.text, &st) == 0 && (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)))
        return nullptr;
    return fopen(p.text, "w+b");
}

bool DeleteFilePath(const wchar_t* path)
{
    Utf8Path p;
    return ToUtf8(path, &p) && unlink(p.text) == 0;
}

void ApplyFileTimeAndAttributes(const wchar_t* path, uint32_t dosTime, uint32_t attributes)
{
    Utf8Path p;
    if (!ToUtf8(path, &p))
        return;
    DosDateTime fields;
    UnpackDosTime(dosTime, &fields);
    struct tm t;
    memset(&t, 0, sizeof t);
    t.tm_year = fields.year - 1900;
    t.tm_mon = fields.month - 1;
    t.tm_mday = fields.day;
    t.tm_hour = fields.hour;
    t.tm_min = fields.minute;
    t.tm_sec = fields.second;
    t.tm_isdst = -1;
    time_t when = mktime(&t);
    if (when != time_t(-1)) {
        struct utimbuf times;
        struct stat st;
        times.actime = stat(p.text, &st) == 0 ? st.st_atime : when;
        times.modtime = when;
        utime(p.text, &times);
    }
    // Only the read-only bit has a POSIX counterpart.
    struct stat st;
    if (stat(p.text, &st) == 0 && S_ISREG(st.st_mode)) {
        mode_t mode = st.st_mode & 07777;
        mode = (attributes & 0x01) ? (mode & ~mode_t(0222)) : (mode | S_IWUSR);
        chmod(p.text, mode);
    }
}

int PathMissing(const wchar_t* path)
{
    Utf8Path p;
    struct stat st;
    if (!ToUtf8(path, &p) || stat(p.text, &st) != 0)
        return -1;
    return 0;
}

void MakeFullPath(wchar_t* path)
{
    if (!path || !*path || path[0] == L'/')
        return;
    char cwd[kPathCapacity * 4];
    if (!getcwd(cwd, sizeof cwd))
        return;
    wchar_t full[kPathCapacity];
    if (!Utf8ToWide(cwd, full, kPathCapacity))
        return;
    size_t i = TextLength(full);
    size_t need = i + 1 + TextLength(path) + 1;
    if (need > kPathCapacity)
        return;
    AppendText(L"/", full, kPathCapacity);
    AppendText(path, full, kPathCapacity);
    CopyTextBounded(full, path, kPathCapacity);
}
