// Windows side of the platform layer: the system's own calls.
#include "base/platform.h"

#include "base/text_utils.h"

#include <windows.h>
#include <share.h>
#include <stdlib.h>

size_t PlatformAnsiToWide(const char* source, size_t count, wchar_t* dest, size_t capacity)
{
    if (count > capacity)
        count = capacity;
    if (count == 0)
        return 0;
    int n = MultiByteToWideChar(CP_ACP, 0, source, int(count), dest, int(capacity));
    return n > 0 ? size_t(n) : 0;
}

size_t PlatformWideToAnsi(const wchar_t* source, size_t count, char* dest, size_t capacity)
{
    if (count > capacity)
        count = capacity;
    // A multi-byte code page may need more bytes than characters: give up
    // characters from the end until the rest fits.
    while (count > 0) {
        int n = WideCharToMultiByte(CP_ACP, 0, source, int(count), dest, int(capacity), nullptr, nullptr);
        if (n > 0)
            return size_t(n);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return 0;
        count--;
    }
    return 0;
}

bool PlatformIsAnsiRepresentable(const wchar_t* text)
{
    if (!text || !*text)
        return true;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &usedDefault);
    return n > 0 && !usedDefault;
}

uint8_t* AllocateWindowMemory(size_t size)
{
    return static_cast<uint8_t*>(calloc(size, 1));
}

void FreeWindowMemory(uint8_t* memory, size_t)
{
    free(memory);
}

FILE* OpenArchiveStream(const wchar_t* path)
{
    return _wfsopen(path, L"rb", _SH_DENYWR);
}

FILE* CreateOutputStream(const wchar_t* path)
{
    return _wfsopen(path, L"w+b", _SH_DENYNO);
}

bool DeleteFilePath(const wchar_t* path)
{
    return DeleteFileW(path) != 0;
}

void ApplyFileTimeAndAttributes(const wchar_t* path, uint32_t dosTime, uint32_t attributes)
{
    HANDLE h =
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        FILETIME created, accessed, written, local;
        if (GetFileTime(h, &created, &accessed, &written) &&
            DosDateTimeToFileTime(WORD(dosTime >> 16), WORD(dosTime & 0xFFFF), &local) &&
            LocalFileTimeToFileTime(&local, &written))
            SetFileTime(h, &created, &accessed, &written);
        CloseHandle(h);
    }
    SetFileAttributesW(path, attributes);
}

int PathMissing(const wchar_t* path)
{
    return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES ? -1 : 0;
}

void MakeFullPath(wchar_t* path)
{
    wchar_t full[kPathCapacity];
    DWORD n = GetFullPathNameW(path, kPathCapacity, full, nullptr);
    if (n > 0 && n < kPathCapacity)
        CopyTextBounded(full, path, kPathCapacity);
}
