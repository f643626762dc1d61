#include "install/folders.h"

#include "base/platform.h"
#include "base/text_utils.h"

#include <shellapi.h>

int CreateDirectoryTree(const wchar_t* path)
{
    if (CreateDirectoryW(path, nullptr))
        return 0;
    if (GetLastError() != ERROR_PATH_NOT_FOUND)
        return 2;
    wchar_t parent[kPathCapacity];
    CopyTextBounded(path, parent, kPathCapacity);
    CutToParentFolder(parent);
    if (TextLength(parent) <= 3)
        return 2;
    int result = CreateDirectoryTree(parent);
    if (result != 0)
        return result;
    return CreateDirectoryW(path, nullptr) ? 0 : 3;
}

void MakeTempFolderName(wchar_t* out, size_t capacity)
{
    wchar_t base[kPathCapacity];
    DWORD n = GetTempPathW(kPathCapacity, base);
    if (n == 0 || n >= kPathCapacity)
        base[0] = 0;
    EnsureSeparator(base, kPathCapacity);
    for (unsigned counter = 1; counter != 0; counter++) {
        wchar_t hex[12];
        wsprintfW(hex, L"%x", counter);
        CopyTextBounded(base, out, capacity);
        AppendText(hex, out, capacity);
        if (PathMissing(out))
            return;
    }
}

static bool IsFolder(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Calls `visit(source, target, isFolder)` for every entry directly in `from`,
// with the same name below `to`. True when every visit returned true.
template <typename Visit>
static bool ForEachEntry(const wchar_t* from, const wchar_t* to, Visit visit)
{
    wchar_t pattern[kPathCapacity];
    CopyTextBounded(from, pattern, kPathCapacity);
    JoinPath(L"*", pattern, kPathCapacity);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    bool ok = true;
    if (search == INVALID_HANDLE_VALUE)
        return ok;
    do {
        if (!wcscmp(found.cFileName, L".") || !wcscmp(found.cFileName, L".."))
            continue;
        wchar_t source[kPathCapacity], target[kPathCapacity];
        CopyTextBounded(from, source, kPathCapacity);
        JoinPath(found.cFileName, source, kPathCapacity);
        CopyTextBounded(to, target, kPathCapacity);
        JoinPath(found.cFileName, target, kPathCapacity);
        ok = visit(source, target, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) && ok;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return ok;
}

// Moves everything below `from` into `to`, replacing same-named files, and
// removes `from`. False when anything stays behind.
static bool MergeTree(const wchar_t* from, const wchar_t* to)
{
    if (!IsFolder(to) && !CreateDirectoryW(to, nullptr))
        return false;
    bool ok = ForEachEntry(from, to, [](const wchar_t* source, const wchar_t* target, bool folder) {
        return folder ? MergeTree(source, target)
                      : MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
    });
    return RemoveDirectoryW(from) && ok;
}

// Whether the tree `from` can be merged into `to` without a file taking the
// place of a folder or a folder that of a file: the shell would not merge
// those, and Wine's replaces what stands there, the user's data with it.
static bool TreeFits(const wchar_t* from, const wchar_t* to)
{
    wchar_t above[kPathCapacity];
    CopyTextBounded(to, above, kPathCapacity);
    while (TextLength(above) > 3 && PathMissing(above))
        CutToParentFolder(above);
    if (!PathMissing(above) && !IsFolder(above))
        return false;
    return ForEachEntry(from, to, [](const wchar_t* source, const wchar_t* target, bool folder) {
        return folder ? TreeFits(source, target) : !IsFolder(target);
    });
}

static void CopyLastComponent(const wchar_t* path, wchar_t* out)
{
    size_t length;
    const wchar_t* part = LastComponent(path, &length);
    CopyTextBounded(part, out, length < size_t(kPathCapacity) ? length + 1 : size_t(kPathCapacity));
}

int ShellMove(HWND owner, const wchar_t* from, const wchar_t* to)
{
    // Where the tree belongs, and where the shell might nest it instead.
    wchar_t name[kPathCapacity], toName[kPathCapacity];
    CopyLastComponent(from, name);
    CopyLastComponent(to, toName);
    wchar_t home[kPathCapacity], nested[kPathCapacity];
    CopyTextBounded(to, home, kPathCapacity);
    if (IsFolder(to) && !EqualsNoCase(name, toName))
        JoinPath(name, home, kPathCapacity);
    CopyTextBounded(home, nested, kPathCapacity);
    JoinPath(name, nested, kPathCapacity);
    bool nestedBefore = !PathMissing(nested);
    if (!TreeFits(from, home))
        return -1;

    wchar_t fromList[kPathCapacity + 1] = {0}, toList[kPathCapacity + 1] = {0};
    CopyTextBounded(from, fromList, kPathCapacity);
    CopyTextBounded(to, toList, kPathCapacity);
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_MOVE;
    operation.pFrom = fromList;
    operation.pTo = toList;
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
    if (SHFileOperationW(&operation) != 0 || operation.fAnyOperationsAborted)
        return -1;

    bool ok = true;
    if (!nestedBefore && IsFolder(nested) && !EqualsNoCase(nested, from)) {
        ok = MergeTree(nested, home);
        // What stays (a file held open) goes back to where it came from
        // rather than stay nested in the user's folder.
        if (!ok && PathMissing(from))
            MoveFileW(nested, from);
    }
    if (!PathMissing(from))
        ok = MergeTree(from, home) && ok;
    return ok && PathMissing(from) && IsFolder(home) ? 0 : -1;
}

void ShellDeleteTree(const wchar_t* path)
{
    if (PathMissing(path))
        return;
    wchar_t list[kPathCapacity + 2] = {0};
    CopyTextBounded(path, list, kPathCapacity);
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = list;
    operation.fFlags = FOF_NOCONFIRMATION;
    SHFileOperationW(&operation);
}
