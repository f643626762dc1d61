// mksetup extract: every entry written below one folder, with its archived
// folders, time and attributes, through the same pass the setup uses. Names
// that would leave the folder are refused.
#include "tools/mksetup/commands.h"

#include "base/file_names.h"
#include "base/text_utils.h"
#include "format/rar_format.h"
#include "tools/mksetup/host.h"
#include "tools/mksetup/reader_common.h"
#include "tools/mksetup/tool_text.h"

#include <cstdio>
#include <cwchar>
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
                             "Every checksum is verified; a damaged entry's file is removed and the\n"
                             "extraction stops there. Names that are absolute, carry a drive letter or\n"
                             "a '..' component, or name a device (CON, NUL, COM1...) are refused with\n"
                             "a message and not written.\n"
                             "\n"
                             "Options:\n"
                             "  -o, --output DIR   the folder to write to\n"
                             "  -q, --quiet        no summary\n"
                             "  --help             show this text\n"
                             "\n"
                             "Exit codes: 0 success, 1 missing, unreadable or damaged file, a refused\n"
                             "name or an output that cannot be written, 2 bad command line.\n";

// The archived name split into components, or why it may not be written.
bool SplitSafeName(const std::wstring& name, std::vector<std::wstring>* parts, std::string* why)
{
    if (name.empty()) {
        *why = "empty name";
        return false;
    }
    if (name[0] == L'\\' || name[0] == L'/') {
        *why = "absolute name";
        return false;
    }
    if (name.find(L':') != std::wstring::npos) {
        *why = "drive letter or stream name";
        return false;
    }
    parts->clear();
    std::wstring part;
    for (size_t i = 0; i <= name.size(); i++) {
        if (i == name.size() || name[i] == L'\\' || name[i] == L'/') {
            if (part == L"..") {
                *why = "'..' component";
                return false;
            }
            if (IsDeviceName(part.c_str(), part.size())) {
                *why = "a device name";
                return false;
            }
            if (!part.empty() && part != L".")
                parts->push_back(part);
            part.clear();
        } else {
            part.push_back(name[i]);
        }
    }
    if (parts->empty()) {
        *why = "empty name";
        return false;
    }
    return true;
}

fs::path JoinParts(const fs::path& root, const std::vector<std::wstring>& parts)
{
    fs::path p = root;
    for (auto& part : parts)
        p /= fs::u8path(Utf8Of(part));
    return p;
}

struct ExtractState {
    fs::path root;
    const EntryHeaderInfo* info;
    unsigned files = 0;
    unsigned refused = 0;
    std::string lastPath; // of the entry being written
};

void Refuse(ExtractState* st, const std::wstring& name, const std::string& why)
{
    std::fprintf(stderr, "mksetup extract: refusing '%s': %s\n", Utf8Of(name).c_str(), why.c_str());
    st->refused++;
}

int ExtractEntry(wchar_t* name, const unsigned char* data, uint32_t, void* user)
{
    if (data)
        return 0;
    auto* st = static_cast<ExtractState*>(user);
    std::wstring entry = name;
    name[0] = 0; // skipped unless everything below works out
    if (st->info->fileAttr & kAttrVolumeLabel)
        return 0;
    std::vector<std::wstring> parts;
    std::string why;
    if (!SplitSafeName(entry, &parts, &why)) {
        Refuse(st, entry, why);
        return 0;
    }
    fs::path target = JoinParts(st->root, parts);
    std::wstring wide = ReaderPath(target);
    if (wide.empty()) {
        Refuse(st, entry, "the output path is not valid UTF-8");
        return 0;
    }
    if (wide.size() >= kPathCapacity) {
        Refuse(st, entry, "the output path is longer than 259 characters");
        return 0;
    }
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
        Refuse(st, entry, "cannot create its folder: " + ec.message());
        return 0;
    }
    std::wcsncpy(name, wide.c_str(), kPathCapacity - 1);
    name[kPathCapacity - 1] = 0;
    st->lastPath = target.u8string();
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
    FolderList folders;
    PassResult walked = WalkArchiveHeaders(WideOf(a.file).c_str(), CollectFolders, &folders);
    if (walked != 0) {
        EntryHeaderInfo none{};
        std::fprintf(stderr, "mksetup extract: %s: %s\n", a.file.c_str(),
                     PassFailureText(walked, none, a.file).c_str());
        return kExitFailure;
    }
    ExtractState st;
    std::error_code ec;
    st.root = fs::u8path(a.output);
    fs::create_directories(st.root, ec);
    if (ec || !fs::is_directory(st.root)) {
        std::fprintf(stderr, "mksetup extract: cannot create the folder '%s'%s%s\n", a.output.c_str(), ec ? ": " : "",
                     ec ? ec.message().c_str() : "");
        return kExitFailure;
    }
    for (auto& folder : folders.names) {
        std::vector<std::wstring> parts;
        std::string why;
        if (!SplitSafeName(folder, &parts, &why)) {
            Refuse(&st, folder, why);
            continue;
        }
        fs::create_directories(JoinParts(st.root, parts), ec);
    }

    EntryHeaderInfo info{};
    st.info = &info;
    PassResult result = ArchivePassWithInfo(WideOf(a.file).c_str(), ExtractEntry, &st, &info);
    if (result == kPassCannotCreate) {
        std::fprintf(stderr, "mksetup extract: cannot create '%s'\n", st.lastPath.c_str());
        return kExitFailure;
    }
    if (result != 0) {
        std::fprintf(stderr, "mksetup extract: %s: %s\n", a.file.c_str(),
                     PassFailureText(result, info, a.file).c_str());
        return kExitFailure;
    }
    if (!a.quiet)
        std::printf("%u file%s extracted to %s%s\n", st.files, st.files == 1 ? "" : "s", a.output.c_str(),
                    st.refused ? " (some names refused)" : "");
    return st.refused ? kExitFailure : kExitOk;
}
