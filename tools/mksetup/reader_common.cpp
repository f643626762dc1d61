#include "tools/mksetup/reader_common.h"

#include "archive/container.h"
#include "archive/extract_context.h"
#include "archive/platform.h"
#include "archive/text_utils.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

std::wstring WidePathOf(const std::string& utf8)
{
    std::wstring out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = (unsigned char)utf8[i];
        uint32_t cp = c;
        size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra)
            cp = c & (0x3F >> extra);
        i++;
        for (size_t k = 0; k < extra && i < utf8.size(); k++, i++)
            cp = (cp << 6) | ((unsigned char)utf8[i] & 0x3F);
#ifdef _WIN32
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(wchar_t(0xD800 + (cp >> 10)));
            out.push_back(wchar_t(0xDC00 + (cp & 0x3FF)));
            continue;
        }
#endif
        out.push_back(wchar_t(cp));
    }
    return out;
}

std::string Utf8Of(const std::wstring& wide)
{
    std::string out;
    for (size_t i = 0; i < wide.size(); i++) {
        uint32_t cp = uint32_t(wide[i]);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < wide.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (uint32_t(wide[i + 1]) - 0xDC00);
            i++;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string DisplayName(const char* ansiName)
{
    wchar_t wide[kPathCapacity];
    AnsiToWide(ansiName, wide, kPathCapacity);
    return Utf8Of(wide);
}

std::string UnreadableReason(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p = fs::u8path(path);
    auto status = fs::status(p, ec);
    if (ec || !fs::exists(status))
        return "no such file";
    if (fs::is_directory(status))
        return "is a folder, not a file";
    FILE* f = OpenArchiveStream(WidePathOf(path).c_str());
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
    std::wstring wide = WidePathOf(path);
    ctx->archive = OpenArchiveStream(wide.c_str());
    bool found = ctx->archive && FindArchiveStart(ctx);
    if (ctx->archive)
        std::fclose(ctx->archive);
    std::free(ctx);
    return found;
}

std::string PassFailureText(int result, const EntryHeaderInfo& info, const std::string& path)
{
    std::string entry = "entry '" + DisplayName(info.name) + "'";
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
        if (info.method != kMethodStored && info.unpVer <= 15)
            return entry + ": packed with an unsupported method (version " + std::to_string(info.unpVer / 10) +
                   "." + std::to_string(info.unpVer % 10) + ")";
        if (info.sizeMismatch && info.method != kMethodStored)
            return entry + ": its content does not have the size its header states (damaged file)";
        if (info.headFlags & kFlagEncrypted)
            return entry + ": encrypted entries are not supported";
        return entry + ": checksum mismatch (damaged file)";
    case kPassMissingVolume:
        return "the archive ends inside " + entry + ", which continues in a next volume";
    case kPassCannotCreate:
        return entry + ": the output file cannot be created";
    case kPassNoMemory:
    case kPassNoWindow:
    case kPassNoCopyBuffer:
        return info.name[0] ? entry + ": not enough memory" : "not enough memory";
    default:
        return "unexpected result " + std::to_string(result);
    }
}

std::string FormatDosTime(uint32_t t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + ((t >> 25) & 0x7F), (t >> 21) & 0x0F,
                  (t >> 16) & 0x1F, (t >> 11) & 0x1F, (t >> 5) & 0x3F, (t & 0x1F) * 2);
    return buf;
}

std::string FormatAttributes(uint32_t a)
{
    std::string s = ".....";
    if (a & 0x01)
        s[0] = 'R';
    if (a & 0x02)
        s[1] = 'H';
    if (a & 0x04)
        s[2] = 'S';
    if (a & 0x10)
        s[3] = 'D';
    if (a & 0x20)
        s[4] = 'A';
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
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
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
