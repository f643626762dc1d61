// mksetup extract: every entry written below one folder, with its archived
// folders, time and attributes, through the same pass the setup uses. Names
// that would leave the folder are refused; links already inside it are
// never followed. Each entry is written under a temporary name and takes its
// own name only once its checksum passed, so a damaged entry or an
// interruption never replaces a file the user had.
#include "tools/mksetup/commands.h"

#include "base/text_utils.h"
#include "format/rar_format.h"
#include "tools/mksetup/archive_check.h"
#include "tools/mksetup/host.h"
#include "tools/mksetup/reader_common.h"
#include "tools/mksetup/safe_names.h"
#include "tools/mksetup/tool_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kExtractUsage[] = "usage: mksetup extract FILE -o DIR\n"
                             "\n"
                             "Writes every entry of a setup or a bare archive below DIR (created when\n"
                             "missing), with its archived folders, modification time and attributes.\n"
                             "The archive is checked as 'mksetup test' checks it before anything is\n"
                             "written, and every entry's checksum before it takes its name. Names that are\n"
                             "absolute, carry a drive letter or a '..' component, or name a device\n"
                             "(CON, NUL, COM1...) are refused with a message and not written, as are\n"
                             "names that would pass through a symbolic link inside DIR.\n"
                             "\n"
                             "Options:\n"
                             "  -o, --output DIR   the folder to write to\n"
                             "  -q, --quiet        no summary\n"
                             "  --help             show this text\n"
                             "\n"
                             "Exit codes: 0 success, 1 missing, unreadable or damaged file, a refused\n"
                             "name or an output that cannot be written, 2 bad command line.\n";

fs::path JoinParts(const std::vector<std::wstring>& parts, size_t count)
{
    fs::path p;
    for (size_t i = 0; i < count; i++)
        p /= fs::u8path(Utf8Of(parts[i]));
    return p;
}

// An entry written under a temporary name, waiting for its checksum.
struct Pending {
    fs::path temporary, final;
};

struct ExtractState {
    const EntryHeaderInfo* info;
    unsigned files = 0;
    unsigned refused = 0;
    unsigned serial = 0;
    Pending pending;
    std::string error; // a failure that ends the extraction
};

void Refuse(ExtractState* st, const std::wstring& name, const std::string& why)
{
    std::fprintf(stderr, "mksetup extract: refusing '%s': %s\n", Printable(Utf8Of(name)).c_str(), why.c_str());
    st->refused++;
}

// Creates the folders of parts[0..count) below the current folder, one by
// one, refusing to pass through anything but a real folder.
bool MakeFolders(const std::vector<std::wstring>& parts, size_t count, std::string* why)
{
    for (size_t i = 1; i <= count; i++) {
        fs::path folder = JoinParts(parts, i);
        std::error_code ec;
        fs::file_status status = fs::symlink_status(folder, ec);
        if (fs::is_symlink(status)) {
            *why = "'" + Printable(folder.u8string()) + "' is a symbolic link";
            return false;
        }
        if (fs::is_directory(status))
            continue;
        if (fs::exists(status)) {
            *why = "'" + Printable(folder.u8string()) + "' is a file, not a folder";
            return false;
        }
        if (!fs::create_directory(folder, ec) && ec) {
            *why = "cannot create its folder: " + ec.message();
            return false;
        }
    }
    return true;
}

// Gives the verified entry its own name.
bool Finish(ExtractState* st)
{
    Pending p = st->pending;
    st->pending = Pending();
    if (p.temporary.empty())
        return true;
    RemoveOnInterrupt(fs::path());
    std::string error;
    if (RenameReplacing(p.temporary, p.final, &error))
        return true;
    std::error_code ec;
    fs::remove(p.temporary, ec);
    st->error = error;
    return false;
}

void Discard(ExtractState* st)
{
    RemoveOnInterrupt(fs::path());
    std::error_code ec;
    if (!st->pending.temporary.empty())
        fs::remove(st->pending.temporary, ec);
    st->pending = Pending();
}

int ExtractEntry(wchar_t* name, const unsigned char* data, uint32_t, void* user)
{
    if (data)
        return 0;
    auto* st = static_cast<ExtractState*>(user);
    // A new entry means the one before it passed its checksum.
    if (!Finish(st))
        return 1;
    std::wstring entry = name;
    name[0] = 0; // skipped unless everything below works out
    if (st->info->fileAttr & kAttrVolumeLabel)
        return 0;
    std::vector<std::wstring> parts;
    std::string why;
    if (!SplitSafeName(entry, &parts, &why) || !MakeFolders(parts, parts.size() - 1, &why)) {
        Refuse(st, entry, why);
        return 0;
    }
    fs::path target = JoinParts(parts, parts.size());
    std::error_code ec;
    fs::file_status status = fs::symlink_status(target, ec);
    if (fs::is_symlink(status) || fs::is_directory(status)) {
        Refuse(st, entry,
               fs::is_symlink(status) ? "a symbolic link of that name is in the way"
                                      : "a folder of that name is in the way");
        return 0;
    }
    Pending p{target.parent_path() / ("~mksetup" + std::to_string(ProcessId()) + "-" + std::to_string(++st->serial)),
              target};
    std::wstring wide = ReaderPath(p.temporary);
    if (wide.empty() || wide.size() >= kPathCapacity || ReaderPath(target).size() >= kPathCapacity) {
        Refuse(st, entry, "its path is longer than 259 characters");
        return 0;
    }
    // Created here first, so that a failure comes with the system's reason.
    RemoveOnInterrupt(p.temporary);
    FILE* probe = OpenHostFile(p.temporary, true);
    if (!probe) {
        st->error = "cannot create '" + Printable(target.u8string()) + "': " + std::strerror(errno);
        RemoveOnInterrupt(fs::path());
        return 1;
    }
    std::fclose(probe);
    st->pending = p;
    std::wcsncpy(name, wide.c_str(), kPathCapacity - 1);
    name[kPathCapacity - 1] = 0;
    st->files++;
    return 0;
}

struct FolderList {
    std::vector<std::wstring> names;
};

int CollectFolders(const EntryHeaderInfo* info, void* user)
{
    if (info->fileAttr & kAttrDirectory) {
        wchar_t wide[kPathCapacity];
        AnsiToWide(info->name, wide, kPathCapacity);
        static_cast<FolderList*>(user)->names.push_back(wide);
    }
    return 0;
}

// Runs the extraction with DIR as the current folder, so that only the
// entries' own paths count against the 259-character limit.
int ExtractInto(const ReaderArgs& a, const std::wstring& archive, const FolderList& folders)
{
    ExtractState st;
    for (auto& folder : folders.names) {
        std::vector<std::wstring> parts;
        std::string why;
        if (!SplitSafeName(folder, &parts, &why) || !MakeFolders(parts, parts.size(), &why))
            Refuse(&st, folder, why);
    }
    EntryHeaderInfo info{};
    st.info = &info;
    PassResult result = ArchivePassWithInfo(archive.c_str(), ExtractEntry, &st, &info);
    // The last entry passed unless the pass failed on it.
    if (st.error.empty() && (result == kPassOk || (info.decoded && info.checksumOk)))
        Finish(&st);
    Discard(&st);
    if (!st.error.empty()) {
        std::fprintf(stderr, "mksetup extract: %s\n", st.error.c_str());
        return kExitFailure;
    }
    if (result == kPassCannotWrite || result == kPassCannotCreate) {
        std::fprintf(stderr, "mksetup extract: cannot write '%s': %s\n", PrintableName(info.name).c_str(),
                     info.writeError ? std::strerror(info.writeError) : "the file cannot be created");
        return kExitFailure;
    }
    if (result != kPassOk) {
        std::fprintf(stderr, "mksetup extract: %s: %s\n", a.file.c_str(),
                     PassFailureText(result, info, a.file).c_str());
        return kExitFailure;
    }
    if (!a.quiet)
        std::printf("%u file%s extracted to %s%s\n", st.files, st.files == 1 ? "" : "s", a.output.c_str(),
                    st.refused ? " (some names refused)" : "");
    return st.refused ? kExitFailure : kExitOk;
}

} // namespace

int RunExtract(const Arguments& args)
{
    ReaderArgs a = ParseReaderArgs(args, false, true);
    if (a.help) {
        std::fputs(kExtractUsage, stdout);
        return kExitOk;
    }
    if (!a.error.empty()) {
        std::fprintf(stderr, "mksetup extract: %s\n\n%s", a.error.c_str(), kExtractUsage);
        return kExitUsage;
    }
    std::string unreadable = UnreadableReason(a.file);
    if (!unreadable.empty()) {
        std::fprintf(stderr, "mksetup extract: %s: %s\n", a.file.c_str(), unreadable.c_str());
        return kExitFailure;
    }

    // Folder entries get no callback from the pass: create them first.
    std::error_code ec;
    std::wstring archive = ReaderPath(fs::absolute(fs::u8path(a.file), ec));
    FolderList folders;
    PassResult walked = WalkArchiveHeaders(archive.c_str(), CollectFolders, &folders);
    if (walked != 0) {
        EntryHeaderInfo none{};
        std::fprintf(stderr, "mksetup extract: %s: %s\n", a.file.c_str(),
                     PassFailureText(walked, none, a.file).c_str());
        return kExitFailure;
    }
    // What the setup would take from a damaged file (a changed name, an
    // entry lost) is no extraction to claim success for: nothing is written.
    std::string fault = CheckArchiveBlocks(a.file);
    if (!fault.empty()) {
        std::fprintf(stderr, "mksetup extract: %s: %s; nothing extracted\n", a.file.c_str(), fault.c_str());
        return kExitFailure;
    }
    fs::path root = fs::u8path(a.output), before = fs::current_path(ec);
    if (!ec)
        fs::create_directories(root, ec);
    if (!ec)
        fs::current_path(root, ec);
    if (ec) {
        std::fprintf(stderr, "mksetup extract: cannot use the folder '%s': %s\n", a.output.c_str(),
                     ec.message().c_str());
        return kExitFailure;
    }
    int code = ExtractInto(a, archive, folders);
    fs::current_path(before, ec);
    return code;
}
