#include "tools/mksetup/product_scan.h"

#include "base/dos_time.h"
#include "base/file_names.h"
#include "base/platform.h"
#include "base/text_utils.h"
#include "format/rar_format.h"
#include "pack/huffman_builder.h"
#include "pack/repeat_estimate.h"
#include "tools/mksetup/host.h"
#include "tools/mksetup/setup_rules.h"
#include "tools/mksetup/tool_text.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Why Windows cannot create a file or folder of this name; empty when it can.
std::string WindowsNameProblem(const std::wstring& name)
{
    for (wchar_t c : name) {
        if (c < 32)
            return "holds a control character";
        if (std::wcschr(L"<>:\"|?*\\", c))
            return std::string("holds the character '") + char(c) + "'";
    }
    if (name.back() == L'.' || name.back() == L' ')
        return "ends in a dot or a blank";
    if (IsDeviceName(name.c_str(), name.size()))
        return "is the name of a Windows device";
    return std::string();
}

struct WalkState {
    const TimePolicy* policy;
    std::vector<PlanEntry>* entries;
    Findings* findings;
};

void Walk(const fs::path& folder, const std::wstring& prefix, WalkState* state)
{
    std::error_code ec;
    std::vector<fs::path> children;
    std::string why;
    if (!ListFolder(folder, &children, &why)) {
        state->findings->errors.push_back(DisplayPath(folder) + ": cannot list the folder (" + why + ")");
        return;
    }
    // Sorted so that messages come in the same order on every run.
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        std::wstring leaf;
        if (!ComponentToWide(child.filename(), &leaf)) {
            state->findings->errors.push_back(DisplayPath(child) + ": the name is not valid UTF-8");
            continue;
        }
        std::wstring name = prefix + leaf;
        fs::file_status link = fs::symlink_status(child, ec);
        if (ec) {
            state->findings->errors.push_back(DisplayPath(child) + ": cannot read (" + ec.message() + ")");
            continue;
        }
        fs::file_status target = fs::status(child, ec);
        if (fs::is_directory(target)) {
            if (fs::is_symlink(link)) {
                state->findings->errors.push_back(DisplayPath(child) +
                                                  ": is a link to a folder; such links are not followed");
                continue;
            }
            std::string problem = WindowsNameProblem(leaf);
            if (!problem.empty()) {
                state->findings->errors.push_back(DisplayPath(child) + ": the folder name " + problem);
                continue;
            }
            Walk(child, name + L"\\", state);
            continue;
        }
        if (!fs::is_regular_file(target)) {
            state->findings->errors.push_back(DisplayPath(child) + ": is not a regular file" +
                                              (fs::is_symlink(link) ? " (a broken link?)" : ""));
            continue;
        }
        std::string problem = WindowsNameProblem(leaf);
        if (!problem.empty()) {
            state->findings->errors.push_back(DisplayPath(child) + ": the file name " + problem);
            continue;
        }
        if (!PlatformIsAnsiRepresentable(name.c_str())) {
            state->findings->errors.push_back(
                DisplayPath(child) +
                ": the name cannot be written in the Windows-1252 code page the setup reads names in");
            continue;
        }
        PlanEntry entry;
        entry.source = child;
        entry.wideName = name;
        std::vector<char> ansi(name.size() * 4 + 8);
        WideToAnsi(name.c_str(), ansi.data(), ansi.size());
        entry.name = ansi.data();
        if (entry.name.size() > size_t(kMaxNameSize)) {
            state->findings->errors.push_back(DisplayPath(child) + ": the stored name '" + Utf8Of(name) + "' is " +
                                              std::to_string(entry.name.size()) + " bytes; the setup reads at most " +
                                              std::to_string(size_t(kMaxNameSize)));
            continue;
        }
        std::string why;
        FileFacts facts;
        if (!ReadFileFacts(child, leaf, &facts, &why)) {
            state->findings->errors.push_back(DisplayPath(child) + ": " + why);
            continue;
        }
        entry.size = facts.size;
        entry.attributes = facts.attributes;
        entry.dosTime =
            state->policy->fixed ? DosTimeFromUnix(state->policy->epoch, true) : PackDosTime(&facts.modified);
        state->entries->push_back(entry);
    }
}

} // namespace

bool ReadTimePolicy(const char* value, TimePolicy* policy, std::string* error)
{
    *policy = TimePolicy();
    if (!value || !*value)
        return true;
    int64_t seconds = 0;
    for (const char* p = value; *p; p++) {
        if (*p < '0' || *p > '9' || p - value >= 15) {
            *error = std::string("SOURCE_DATE_EPOCH must be a whole number of seconds since 1970, not '") + value + "'";
            return false;
        }
        seconds = seconds * 10 + (*p - '0');
    }
    policy->fixed = true;
    policy->epoch = seconds;
    return true;
}

uint32_t DosTimeFromUnix(int64_t seconds, bool utc)
{
    // Outside this range no time zone can bring the moment into 1980..2107.
    DosDateTime fields = {seconds < 315532800 ? 1979 : 2108, 1, 1, 0, 0, 0};
    if (seconds >= 315532800 - 86400 && seconds <= 4354819200LL + 86400)
        CalendarFields(seconds, utc, &fields);
    return PackDosTime(&fields);
}

void ScanProductFolder(const fs::path& folder, const TimePolicy& policy, std::vector<PlanEntry>* entries,
                       Findings* findings)
{
    WalkState state = {&policy, entries, findings};
    Walk(LongPathForm(folder), std::wstring(), &state);
}

// Name order: by the folded name, then by the stored one.
static std::pair<std::wstring, std::string> NameOrderKey(const PlanEntry& e)
{
    return {FoldCase(e.wideName), e.name};
}

void OrderEntries(std::vector<PlanEntry>* entries, bool nameOrder)
{
    struct Keyed {
        int rank;
        std::wstring extension, folded;
        // Within an extension: files whose order the setup reads meaning into
        // first (0), in name order; then the files that may trade places for
        // a smaller archive (1), by size, since near copies often share one;
        // last, the last in name order of each set of files of one name (2),
        // which must stay behind the others: it replaces them when installed.
        int place;
        PlanEntry entry;
    };
    // The last of each set of files of one name, in name order.
    std::map<std::wstring, std::pair<const PlanEntry*, int>> lastOfName;
    for (const PlanEntry& e : *entries) {
        auto& [last, count] = lastOfName[FoldCase(LeafOf(e.wideName))];
        if (!last || NameOrderKey(e) > NameOrderKey(*last))
            last = &e;
        count++;
    }
    std::vector<Keyed> keyed;
    for (PlanEntry& e : *entries) {
        std::wstring leaf = LeafOf(e.wideName);
        // The first language file gives the prefix, the first fitting
        // program becomes the main program.
        int place = 1;
        if (nameOrder || IsLanguageFileName(e.wideName) || IsSetupScriptName(e.wideName) || IsMainProgramName(leaf))
            place = 0;
        else if (const auto& [last, count] = lastOfName[FoldCase(leaf)]; count > 1 && last == &e)
            place = 2;
        keyed.push_back({2, nameOrder ? std::wstring() : ExtensionOf(e.wideName), FoldCase(e.wideName), place, e});
    }

    // The script goes first: the setup appends a script's "Group" to a
    // group name it already took from FILE_ID.DIZ. INSTALL.INF at the top
    // is the script when there are several.
    Keyed* script = nullptr;
    for (Keyed& k : keyed)
        if (IsSetupScriptName(k.entry.wideName) &&
            (!script || (k.folded == L"INSTALL.INF") > (script->folded == L"INSTALL.INF") ||
             ((k.folded == L"INSTALL.INF") == (script->folded == L"INSTALL.INF") && k.folded < script->folded)))
            script = &k;
    if (script)
        script->rank = 0;
    for (Keyed& k : keyed)
        if (IsDescriptionName(k.entry.wideName))
            k.rank = 1;

    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.rank != b.rank)
            return a.rank < b.rank;
        if (a.extension != b.extension)
            return a.extension < b.extension;
        if (a.place != b.place)
            return a.place < b.place;
        if (a.place == 1 && a.entry.size != b.entry.size)
            return a.entry.size < b.entry.size;
        if (a.folded != b.folded)
            return a.folded < b.folded;
        return a.entry.name < b.entry.name;
    });
    entries->clear();
    uint32_t group = 0, extensionGroup = 0;
    for (size_t i = 0; i < keyed.size(); i++) {
        Keyed& k = keyed[i];
        if (k.place == 1 && k.rank == 2) {
            group += i == 0 || keyed[i - 1].place != 1 || keyed[i - 1].extension != k.extension;
            k.entry.orderGroup = group;
        }
        if (k.rank == 2 && !nameOrder) {
            extensionGroup += i == 0 || keyed[i - 1].rank != 2 || keyed[i - 1].extension != k.extension;
            k.entry.extensionGroup = extensionGroup;
        }
        entries->push_back(k.entry);
    }
}

enum class Kind { kText, kBinary, kPacked };

// What the files of one extension hold, judged by the first bytes of each:
// text has hardly any control characters other than tabs, line and page
// breaks (UTF-16 text counts as binary, which only moves it among those;
// empty files count as text); packed data (archives, images, compressed
// files) uses the byte values almost evenly, where programs stay far below.
static Kind KindOf(const std::vector<const std::vector<uint8_t>*>& files)
{
    const size_t kSample = 1 << 16;
    uint64_t seen = 0, control = 0;
    uint64_t bits = 0; // order-0 entropy of the samples, 1/65536 bits; in integers, so every build agrees
    for (const std::vector<uint8_t>* f : files) {
        size_t n = std::min(f->size(), kSample);
        uint64_t count[256] = {0};
        for (size_t i = 0; i < n; i++)
            count[(*f)[i]]++;
        for (int c = 0; c < 256; c++)
            if ((c < 32 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1A) || c == 127)
                control += count[c];
        if (n)
            bits += EntropyBits(count, n);
        seen += n;
    }
    if (control * 200 <= seen)
        return Kind::kText;
    return bits * 10 >= 72 * 65536 * seen ? Kind::kPacked : Kind::kBinary;
}

std::vector<size_t> SettleOrder(const std::vector<PlanEntry>& entries,
                                const std::vector<const std::vector<uint8_t>*>& data)
{
    std::vector<size_t> order;
    for (size_t i = 0; i < entries.size();) {
        size_t end = i + 1;
        while (entries[i].orderGroup && end < entries.size() && entries[end].orderGroup == entries[i].orderGroup)
            end++;
        std::vector<FileBytes> files;
        std::vector<size_t> bySize, byName;
        for (size_t k = i; k < end; k++) {
            files.push_back({data[k]->data(), data[k]->size()});
            bySize.push_back(k - i);
        }
        byName = bySize;
        std::sort(byName.begin(), byName.end(),
                  [&](size_t a, size_t b) { return NameOrderKey(entries[i + a]) < NameOrderKey(entries[i + b]); });
        bool name = false;
        if (end - i > 2 && byName != bySize) {
            std::vector<FileAnchors> anchors = FindAnchors(files);
            name = RepeatedBytes(files, anchors, byName) > RepeatedBytes(files, anchors, bySize);
        }
        for (size_t k : name ? byName : bySize)
            order.push_back(i + k);
        i = end;
    }
    // Text apart from binaries: the text files of a product tend to repeat
    // one another (licences, notices), which binaries between them would
    // push out of the window. The extensions of each kind gather behind the
    // first of that kind, each whole and in its place; the script and
    // FILE_ID.DIZ stay in front. Which kind goes first matters little.
    // Packed data goes last: it repeats nothing, and between two other
    // extensions it would only take up the window.
    std::map<uint32_t, std::vector<const std::vector<uint8_t>*>> groupData;
    for (size_t i = 0; i < entries.size(); i++)
        if (entries[i].extensionGroup)
            groupData[entries[i].extensionGroup].push_back(data[i]);
    std::map<uint32_t, int> rank;
    Kind first = Kind::kPacked;
    for (const auto& [group, files] : groupData) {
        Kind kind = KindOf(files);
        if (first == Kind::kPacked)
            first = kind;
        rank[group] = kind == Kind::kPacked ? 3 : kind == first ? 1 : 2;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        uint32_t ga = entries[a].extensionGroup, gb = entries[b].extensionGroup;
        return (ga ? rank[ga] : 0) < (gb ? rank[gb] : 0);
    });
    return order;
}

bool IsInsideFolder(const fs::path& path, const fs::path& folder)
{
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    fs::path f = fs::weakly_canonical(fs::absolute(folder, ec), ec);
    auto pi = p.begin();
    for (auto fi = f.begin(); fi != f.end(); ++fi) {
        if (fi->empty())
            continue; // a trailing separator
        if (pi == p.end())
            return false;
        if (kHostNamesIgnoreCase ? FoldCase(pi->wstring()) != FoldCase(fi->wstring()) : *pi != *fi)
            return false;
        ++pi;
    }
    return true;
}
