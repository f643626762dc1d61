// Shared pieces of the reading commands (list, test, extract): argument
// handling, the texts for pass results, and the formats of entry fields.
#ifndef OV_TOOLS_MKSETUP_READER_COMMON_H
#define OV_TOOLS_MKSETUP_READER_COMMON_H

#include "archive/archive_pass.h"
#include "tools/mksetup/commands.h"
#include "tools/mksetup/tool_text.h"

#include <string>

// The wide path the archive pass opens for a FILE argument (UTF-8 on
// Windows, bytes on Linux).
std::wstring ArchivePathOf(const std::string& argument);

// An entry name for a table or message, as Printable shows it.
std::string PrintableName(const char* ansiName);

// A JSON string literal of UTF-8 text.
std::string JsonString(const std::string& utf8);

// Why a file cannot be read as a setup before any pass runs ("" when it
// opens as a regular file).
std::string UnreadableReason(const std::string& path);

// Whether the file holds an archive the reader can find.
bool HoldsArchive(const std::string& path);

// The reason an ArchivePass result gives, with what the walk last saw.
std::string PassFailureText(PassResult result, const EntryHeaderInfo& info, const std::string& path);

// "2009-07-15 10:30:44" from an MS-DOS date and time.
std::string FormatDosTime(uint32_t dosTime);
// "RHSDA" style attribute letters, '.' for a clear bit.
std::string FormatAttributes(uint32_t attributes);
// "store", or the compression method and unpack version ("m5 v2.0").
std::string FormatMethod(uint8_t method, uint8_t unpVer);

// Splits the arguments of a reading command: exactly one FILE, the flags
// named in `flags` (e.g. "--json") and, when `wantsOutput`, "-o DIR";
// everything after "--" is an operand.
struct ReaderArgs {
    std::string file;
    std::string output;
    bool help = false;
    bool json = false;
    bool quiet = false;
    std::string error; // a bad command line
};
ReaderArgs ParseReaderArgs(const Arguments& args, bool acceptsJson, bool wantsOutput);

#endif
