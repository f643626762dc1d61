#include "tools/mksetup/build_checks.h"

#include "base/text_utils.h"
#include "tools/mksetup/host.h"
#include "tools/mksetup/product_scan.h"
#include "tools/mksetup/setup_rules.h"
#include "tools/mksetup/tool_text.h"

#include <map>

void CheckEntries(const std::vector<PlanEntry>& entries, uint64_t stubSize, Findings* findings)
{
    // Names equal but for case: one file on Windows.
    std::map<std::wstring, const PlanEntry*> byFolded;
    for (const PlanEntry& e : entries) {
        auto inserted = byFolded.emplace(FoldCase(e.wideName), &e);
        if (!inserted.second)
            findings->errors.push_back(Quote(inserted.first->second->wideName) + " and " + Quote(e.wideName) +
                                       " differ only in case; Windows keeps one file for both");
    }

    // Sizes: the setup holds byte counts and file positions in signed
    // 32-bit fields. The total is judged on the uncompressed sizes so that
    // an oversized product is refused before anything is read.
    uint64_t total = stubSize + 7 + 13 + 7;
    for (const PlanEntry& e : entries) {
        if (e.size > kMaxSetupBytes)
            findings->errors.push_back(DisplayPath(e.source) + ": is " + Grouped(e.size) +
                                       " bytes; the setup reads files of at most " + Grouped(kMaxSetupBytes) +
                                       " bytes");
        total += 32 + e.name.size() + e.size;
    }
    if (total > kMaxSetupBytes)
        findings->errors.push_back("the product's files and the stub come to " + Grouped(total) +
                                   " bytes; a setup can hold at most " + Grouped(kMaxSetupBytes));

    // What the setup reads by name.
    bool description = false, nestedDescription = false;
    std::vector<const PlanEntry*> scripts;
    for (const PlanEntry& e : entries) {
        description = description || IsDescriptionName(e.wideName);
        nestedDescription = nestedDescription || IsDescriptionName(LeafOf(e.wideName));
        if (IsSetupScriptName(e.wideName))
            scripts.push_back(&e);
    }
    if (!description)
        findings->warnings.push_back(std::string("no FILE_ID.DIZ at the top of the product folder") +
                                     (nestedDescription ? " (one in a subfolder is not read)" : "") +
                                     ": the setup will show no product name and version");
    if (scripts.empty())
        findings->warnings.push_back("no setup script (a file whose name ends in \".INF\"): the setup will have no "
                                     "product id and will close no running windows of the product");
    if (scripts.size() > 1) {
        std::string names;
        for (const PlanEntry* s : scripts)
            names += (names.empty() ? "" : ", ") + Quote(s->wideName);
        findings->warnings.push_back("several setup scripts (" + names +
                                     "): the setup reads every one and appends their values");
    }

    // The setup installs every file into one folder.
    std::map<std::wstring, std::vector<const PlanEntry*>> byLeaf;
    for (const PlanEntry& e : entries)
        if (!IsSetupScriptName(e.wideName))
            byLeaf[FoldCase(LeafOf(e.wideName))].push_back(&e);
    for (const auto& group : byLeaf) {
        if (group.second.size() < 2)
            continue;
        std::string names;
        for (const PlanEntry* e : group.second)
            names += (names.empty() ? "" : ", ") + Quote(e->wideName);
        findings->warnings.push_back(names + " have the same file name; the setup installs every file into one "
                                             "folder, so the last of them replaces the others");
    }

    // Language files: the first one in archive order fixes the prefix by
    // which the setup tells language-dependent files from the rest.
    const PlanEntry* first = nullptr;
    std::wstring prefix;
    for (const PlanEntry& e : entries) {
        if (!IsLanguageFileName(e.wideName))
            continue;
        std::wstring leaf = LeafOf(e.wideName);
        if (!IsWellNamedLanguageFile(leaf)) {
            findings->warnings.push_back(Quote(e.wideName) +
                                         " is not named <prefix>_<code>.LNG (a prefix, \"_\", two letters, \".LNG\", "
                                         "at most 31 characters): the setup will not match it to a language");
            continue;
        }
        if (!first) {
            first = &e;
            prefix = LanguagePrefixOf(leaf);
        } else if (FoldCase(LanguagePrefixOf(leaf)) != FoldCase(prefix)) {
            findings->warnings.push_back(Quote(e.wideName) + " does not share the prefix '" + Utf8Of(prefix) +
                                         "' of the first language file " + Quote(first->wideName) +
                                         ", which the setup takes for every language-dependent file");
        }
    }
}

void CheckContents(const std::vector<PlanEntry>& entries, const std::vector<const std::vector<uint8_t>*>& data,
                   Findings* findings)
{
    const std::vector<uint8_t>* script = nullptr;
    const PlanEntry* scriptEntry = nullptr;
    for (size_t i = 0; i < entries.size(); i++) {
        const PlanEntry& e = entries[i];
        const std::vector<uint8_t>& bytes = *data[i];
        if (!script && IsSetupScriptName(e.wideName)) {
            script = &bytes;
            scriptEntry = &e;
        }
        if (IsDescriptionName(e.wideName)) {
            if (ProductNameOf(bytes).empty())
                findings->warnings.push_back("FILE_ID.DIZ has no product name on its first line: the setup will show "
                                             "no title and will have no program-group name");
        }
        if (IsLanguageFileName(e.wideName) && LanguageDisplayName(bytes).empty())
            findings->warnings.push_back(Quote(e.wideName) +
                                         " does not begin like a language file (\"[\", then within its first 259 "
                                         "characters \"Language\", one character and a name): the setup will not "
                                         "offer its language");
    }

    std::wstring exeName;
    if (script) {
        std::string text(script->begin(), script->end());
        std::string who = "the setup script " + Quote(scriptEntry->wideName);
        ScriptValue id = ReadScriptValue(text, "ID");
        if (!id.found || id.value.empty())
            findings->warnings.push_back(who +
                                         " sets no \"ID\" (the first \"ID\" in it must be followed at once by "
                                         "\"=\" and a value): the setup will remember no destination for the product");
        else if (id.insideWord)
            findings->warnings.push_back(who +
                                         ": the first \"ID\" in it is inside another word or line; the setup "
                                         "reads '" +
                                         id.value + "' as the product id");
        else if (id.value != id.kept)
            findings->warnings.push_back(who + ": the \"ID\" '" + id.value +
                                         "' is longer than 3 characters; the "
                                         "setup keeps '" +
                                         id.kept + "'");
        ScriptValue exe = ReadScriptValue(text, "Exe");
        if (exe.found && !exe.value.empty()) {
            std::vector<wchar_t> wide(exe.kept.size() + 1);
            AnsiToWide(exe.kept.c_str(), wide.data(), wide.size());
            exeName = wide.data();
            bool present = false;
            for (const PlanEntry& e : entries)
                present = present || FoldCase(LeafOf(e.wideName)) == FoldCase(exeName);
            if (!present)
                findings->warnings.push_back(who + " names the main program '" + exe.value +
                                             "', but no file of that name is in the product folder");
        }
    }
    if (exeName.empty()) {
        // Without "Exe", the first file whose name starts with the maker's
        // letter and ends in ".EXE" becomes the main program.
        std::vector<const PlanEntry*> candidates;
        for (const PlanEntry& e : entries) {
            std::wstring leaf = LeafOf(e.wideName);
            if (IsMainProgramName(leaf))
                candidates.push_back(&e);
        }
        if (candidates.empty())
            findings->warnings.push_back("no main program: the script names no \"Exe\" and no file name starts with "
                                         "\"O\" and ends in \".EXE\"; the setup will make no shortcuts");
        else if (candidates.size() > 1)
            findings->warnings.push_back("several files could be the main program; the setup takes the first in the "
                                         "archive, " +
                                         Quote(candidates[0]->wideName) + ", not " + Quote(candidates[1]->wideName));
    }
}
