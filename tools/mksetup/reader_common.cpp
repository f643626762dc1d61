#include "tools/mksetup/reader_common.h"

#include "archive/container.h"
#include "archive/extract_context.h"
#include "base/dos_time.h"
#include "base/platform.h"
#include "format/rar_format.h"
#include "tools/mksetup/host.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::wstring ArchivePathOf(const std::string& argument)
{
    return ReaderPath(fs::u8path(argument));
}

// A JSON string: quotes, backslashes and control characters escaped.
std::string JsonString(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string PrintableName(const char* ansiName)
{
    return Printable(DisplayName(ansiName));
}

std::string UnreadableReason(const std::string& path)
{
    std::error_code ec;
    fs::path p = fs::u8path(path);
    auto status = fs::status(p, ec);
    if (ec || !fs::exists(status))
        return "no such file";
    if (fs::is_directory(status))
        return "is a folder, not a file";
    if (!fs::is_regular_file(status))
        return "is not a regular file";
    FILE* f = OpenArchiveStream(ArchivePathOf(path).c_str());
    if (!f)
        return "cannot be opened for reading";
    std::fclose(f);
    return "";
}

bool HoldsArchive(const std::string& path)
{
    auto* ctx = static_cast<ExtractContext*>(std::calloc(1, sizeof(ExtractContext)));
    if (!ctx)
        return false;
    std::wstring wide = ArchivePathOf(path);
    ctx->archive = OpenArchiveStream(wide.c_str());
    bool found = ctx->archive && FindArchiveStart(ctx);
    if (ctx->archive)
        std::fclose(ctx->archive);
    std::free(ctx);
    return found;
}

std::string PassFailureText(PassResult result, const EntryHeaderInfo& info, const std::string& path)
{
    std::string entry = "entry '" + PrintableName(info.name) + "'";
    switch (result) {
    case kPassNoArchive: {
        std::string why = UnreadableReason(path);
        if (!why.empty())
            return why;
        if (!HoldsArchive(path))
            return "no setup archive found in this file";
        return "the archive starts in the middle of a multi-volume set";
    }
    case kPassBadChecksum:
        if (info.inputOverrun)
            return entry + ": its packed data ends long before its content (damaged file)";
        if (info.method != kMethodStored && info.unpVer <= kLastOldUnpackVersion)
            return entry + ": packed with an unsupported method (version " + std::to_string(info.unpVer / 10) + "." +
                   std::to_string(info.unpVer % 10) + ")";
        if (info.sizeMismatch && info.method != kMethodStored)
            return entry + ": its content does not have the size its header states (damaged file)";
        if (info.headFlags & kFlagEncrypted)
            return entry + ": encrypted entries are not supported";
        break;
    case kPassTruncated:
        return std::string("the file was cut short: it ends inside a block") + (info.name[0] ? " after " + entry : "");
    case kPassMissingVolume:
        return "the archive ends inside " + entry + ", which continues in a next volume";
    default:
        break;
    }
    return info.name[0] ? entry + ": " + PassResultText(result) : PassResultText(result);
}

std::string FormatDosTime(uint32_t dosTime)
{
    DosDateTime t;
    UnpackDosTime(dosTime, &t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

std::string FormatAttributes(uint32_t a)
{
    std::string s = ".....";
    const struct {
        uint32_t bit;
        char letter;
    } kLetters[] = {
        {kAttrReadOnly, 'R'}, {kAttrHidden, 'H'}, {kAttrSystem, 'S'}, {kAttrDirectory, 'D'}, {kAttrArchive, 'A'}};
    for (size_t i = 0; i < 5; i++)
        if (a & kLetters[i].bit)
            s[i] = kLetters[i].letter;
    return s;
}

std::string FormatMethod(uint8_t method, uint8_t unpVer)
{
    if (method == kMethodStored)
        return "store";
    char buf[32];
    std::snprintf(buf, sizeof buf, "m%c v%u.%u", method >= 0x30 && method <= 0x39 ? method : '?', unpVer / 10,
                  unpVer % 10);
    return buf;
}

ReaderArgs ParseReaderArgs(const Arguments& args, bool acceptsJson, bool wantsOutput)
{
    ReaderArgs r;
    bool operandsOnly = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        if (!operandsOnly && a == "--") {
            operandsOnly = true;
        } else if (operandsOnly) {
            if (!r.file.empty()) {
                r.error = "more than one file given";
                return r;
            }
            r.file = a;
        } else if (a == "--help" || a == "-h") {
            r.help = true;
        } else if (acceptsJson && a == "--json") {
            r.json = true;
        } else if (a == "-q" || a == "--quiet") {
            r.quiet = true;
        } else if (wantsOutput && (a == "-o" || a == "--output")) {
            if (i + 1 >= args.size()) {
                r.error = "'" + a + "' needs a folder";
                return r;
            }
            r.output = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            r.error = "unknown option '" + a + "'";
            return r;
        } else if (r.file.empty()) {
            r.file = a;
        } else {
            r.error = "more than one file given";
            return r;
        }
    }
    if (r.help)
        return r;
    if (r.file.empty())
        r.error = "no file given";
    else if (wantsOutput && r.output.empty())
        r.error = "no output folder given (-o DIR)";
    return r;
}
