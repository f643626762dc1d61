// mksetup build: a setup from a product folder. The stub (the bare setup
// program) is written first, then a solid archive of every file of the
// folder. Everything is checked and packed in memory and written to a
// temporary file that is renamed into place only when complete, so a failed
// build never leaves a half-written setup behind.
#include "tools/mksetup/commands.h"

#include "base/version.h"
#include "pack/archive_writer.h"
#include "tools/mksetup/build_checks.h"
#include "tools/mksetup/host.h"
#include "tools/mksetup/product_scan.h"
#include "tools/mksetup/progress.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

#ifndef OV_DEFAULT_STUB
#define OV_DEFAULT_STUB ""
#endif

namespace fs = std::filesystem;

namespace {

const char kBuildUsage[] = "usage: mksetup build PRODUCT_DIR -o OUT.exe [OPTIONS]\n"
                           "\n"
                           "Makes a setup: the stub, then a solid archive of every file below\n"
                           "PRODUCT_DIR (the setup script first, then FILE_ID.DIZ, then the rest).\n"
                           "\n"
                           "Options:\n"
                           "  -o, --output FILE  the setup to write\n"
                           "  --stub FILE        the bare setup program to put in front (default:\n"
                           "                     Setup.exe next to mksetup, else the win32 build's)\n"
                           "  --level N          compression level, 1 (fastest) to 5 (smallest); default 3\n"
                           "  --store            store every file without compression\n"
                           "  --name-order       plain name order instead of grouping by extension\n"
                           "  -q, --quiet        no progress bar and no summary\n"
                           "  --help             show this text\n"
                           "  --version          show the version\n"
                           "\n"
                           "Entry times are the files' modification times in local time; when\n"
                           "SOURCE_DATE_EPOCH is set, every entry gets that moment, taken as UTC.\n"
                           "\n"
                           "Exit codes: 0 success, 1 bad input or failed work (nothing is written),\n"
                           "2 bad command line.\n";

struct BuildOptions {
    fs::path product;
    fs::path output;
    fs::path stub;
    int level = 3;
    bool store = false;
    bool nameOrder = false;
    bool quiet = false;
};

int UsageError(const std::string& why)
{
    std::fprintf(stderr, "mksetup build: %s\n\n%s", why.c_str(), kBuildUsage);
    return kExitUsage;
}

void PrintError(const std::string& text)
{
    std::fprintf(stderr, "mksetup: error: %s\n", text.c_str());
}

void PrintWarning(const std::string& text)
{
    std::fprintf(stderr, "mksetup: warning: %s\n", text.c_str());
}

// Arguments arrive as UTF-8 on every platform.
fs::path PathArgument(const std::string& text)
{
    return fs::u8path(text);
}

// Returns -1 to go on, else the exit code (help, version, usage error).
int ParseArguments(const Arguments& args, BuildOptions* options)
{
    bool haveProduct = false, haveOutput = false, operandsOnly = false;
    for (size_t i = 0; i < args.size(); i++) {
        std::string arg = args[i];
        std::string value;
        bool inlineValue = false;
        if (!operandsOnly && arg == "--") {
            operandsOnly = true;
            continue;
        }
        if (operandsOnly) {
            if (haveProduct)
                return UsageError("only one product folder, please ('" + arg + "' is extra)");
            options->product = PathArgument(arg);
            haveProduct = true;
            continue;
        }
        if (arg.compare(0, 2, "--") == 0 && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
            inlineValue = true;
        }
        auto takeValue = [&](std::string* out) {
            if (inlineValue) {
                *out = value;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            *out = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kBuildUsage, stdout);
            return kExitOk;
        }
        if (arg == "--version") {
            std::puts("mksetup " OV_VERSION_TEXT);
            return kExitOk;
        }
        if (arg == "-o" || arg == "--output") {
            std::string v;
            if (!takeValue(&v) || v.empty())
                return UsageError(arg + " needs a file name");
            options->output = PathArgument(v);
            haveOutput = true;
        } else if (arg == "--stub") {
            std::string v;
            if (!takeValue(&v) || v.empty())
                return UsageError("--stub needs a file name");
            options->stub = PathArgument(v);
        } else if (arg == "--level") {
            std::string v;
            if (!takeValue(&v))
                return UsageError("--level needs a number from 1 to 5");
            if (v.size() != 1 || v[0] < '1' || v[0] > '5')
                return UsageError("--level must be 1, 2, 3, 4 or 5, not '" + v + "'");
            options->level = v[0] - '0';
        } else if (arg == "--store" && !inlineValue) {
            options->store = true;
        } else if (arg == "--name-order" && !inlineValue) {
            options->nameOrder = true;
        } else if ((arg == "-q" || arg == "--quiet") && !inlineValue) {
            options->quiet = true;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return UsageError("unknown option '" + args[i] + "'");
        } else {
            if (haveProduct)
                return UsageError("only one product folder, please ('" + arg + "' is extra)");
            options->product = PathArgument(arg);
            haveProduct = true;
        }
    }
    if (!haveProduct)
        return UsageError("no product folder given");
    if (!haveOutput)
        return UsageError("no output given (-o OUT.exe)");
    return -1;
}

// --stub, else Setup.exe beside this program, else the win32 build's.
bool FindStub(BuildOptions* options, std::string* error)
{
    if (!options->stub.empty())
        return true;
    std::error_code ec;
    fs::path self = OwnProgramPath();
    if (!self.empty()) {
        fs::path beside = self.parent_path() / "Setup.exe";
        if (fs::is_regular_file(beside, ec)) {
            options->stub = beside;
            return true;
        }
    }
    fs::path built = fs::u8path(OV_DEFAULT_STUB);
    if (!built.empty() && fs::is_regular_file(built, ec)) {
        options->stub = built;
        return true;
    }
    *error = "no stub: no Setup.exe next to mksetup and none at " + DisplayPath(built) +
             "; build the win32 preset or pass --stub";
    return false;
}

// Reads exactly `size` bytes (the size seen when the folder was walked) and
// makes sure the file ends there: a file that changes while the setup is
// built would otherwise go in half old, half new.
bool ReadWholeFile(const fs::path& path, uint64_t size, std::vector<uint8_t>* data, std::string* error,
                   ProgressBar* progress, uint64_t* done, uint64_t total)
{
    FILE* f = OpenHostFile(path, false);
    if (!f) {
        int savedErrno = errno;
        std::error_code ec;
        bool special = fs::exists(path, ec) && !fs::is_regular_file(path, ec);
        *error = DisplayPath(path) + (special ? ": not a regular file any more"
                                              : ": cannot open (" + std::string(std::strerror(savedErrno)) + ")");
        return false;
    }
    data->resize(size_t(size));
    size_t got = 0;
    while (got < data->size()) {
        size_t want = std::min<size_t>(data->size() - got, 1 << 20);
        size_t n = std::fread(data->data() + got, 1, want, f);
        got += n;
        *done += n;
        if (progress)
            progress->Update("reading", *done, total);
        if (n < want)
            break;
    }
    int extra = got == data->size() ? std::fgetc(f) : EOF;
    bool failed = std::ferror(f) != 0;
    int savedErrno = errno;
    std::fclose(f);
    if (failed) {
        *error = DisplayPath(path) + ": read error (" + std::strerror(savedErrno) + ")";
        return false;
    }
    if (got != data->size() || extra != EOF) {
        *error = DisplayPath(path) + ": the file changed while it was read";
        return false;
    }
    return true;
}

bool ReadStub(const fs::path& path, std::vector<uint8_t>* data, std::string* error)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        *error = DisplayPath(path) + ": the stub is not a readable file";
        return false;
    }
    uint64_t size = fs::file_size(path, ec);
    if (ec) {
        *error = DisplayPath(path) + ": " + ec.message();
        return false;
    }
    // Far beyond what the setup could use; not worth reading.
    if (size > (uint64_t(1) << 30)) {
        *error = "the stub " + DisplayPath(path) + " is larger than 1 GiB";
        return false;
    }
    uint64_t done = 0;
    return ReadWholeFile(path, size, data, error, nullptr, &done, size);
}

bool WriteAll(const std::vector<uint8_t>& bytes, FILE* f)
{
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

// A file next to the output that is removed unless it was renamed into place.
class TemporaryOutput {
public:
    explicit TemporaryOutput(const fs::path& output)
        : output_(output)
    {
        path_ = output;
        path_ += ".tmp" + std::to_string(ProcessId());
    }
    ~TemporaryOutput()
    {
        RemoveOnInterrupt(fs::path());
        if (!committed_) {
            std::error_code ec;
            fs::remove(path_, ec);
        }
    }
    const fs::path& path() const { return path_; }

    bool Write(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& archive, std::string* error)
    {
        RemoveOnInterrupt(path_);
        FILE* f = OpenHostFile(path_, true);
        if (!f) {
            *error = "cannot write the setup into " +
                     DisplayPath(output_.parent_path().empty() ? "." : output_.parent_path()) + " (" +
                     std::strerror(errno) + ")";
            return false;
        }
        bool ok = WriteAll(stub, f) && WriteAll(archive, f) && std::fflush(f) == 0;
        int savedErrno = errno;
        ok = std::fclose(f) == 0 && ok;
        if (!ok) {
            *error = "cannot write " + DisplayPath(path_) + " (" + std::strerror(savedErrno) + ")";
            return false;
        }
        return true;
    }

    bool Commit(std::string* error)
    {
        committed_ = RenameReplacing(path_, output_, error);
        return committed_;
    }

private:
    fs::path output_;
    fs::path path_;
    bool committed_ = false;
};

// Prints what was found; true when the build may go on.
bool Report(Findings* findings)
{
    for (const std::string& w : findings->warnings)
        PrintWarning(w);
    for (const std::string& e : findings->errors)
        PrintError(e);
    bool ok = findings->errors.empty();
    findings->warnings.clear();
    findings->errors.clear();
    return ok;
}

int Build(const BuildOptions& given)
{
    BuildOptions options = given;
    std::error_code ec;
    std::string error;

    TimePolicy policy;
    if (!ReadTimePolicy(std::getenv("SOURCE_DATE_EPOCH"), &policy, &error)) {
        PrintError(error);
        return kExitFailure;
    }
    if (!fs::exists(options.product, ec)) {
        PrintError(DisplayPath(options.product) + ": no such folder");
        return kExitFailure;
    }
    if (!fs::is_directory(options.product, ec)) {
        PrintError(DisplayPath(options.product) + ": not a folder");
        return kExitFailure;
    }
    if (fs::is_directory(options.output, ec)) {
        PrintError(DisplayPath(options.output) + ": the output is a folder");
        return kExitFailure;
    }
    if (IsInsideFolder(options.output, options.product)) {
        PrintError(DisplayPath(options.output) + ": the output lies inside the product folder " +
                   DisplayPath(options.product) + " and would be packed into the next build");
        return kExitFailure;
    }
    if (!FindStub(&options, &error)) {
        PrintError(error);
        return kExitFailure;
    }
    // Replacing the stub (or the tool) with a finished setup would break
    // every later build.
    for (const fs::path& precious : {options.stub, OwnProgramPath()}) {
        if (!precious.empty() && fs::equivalent(options.output, precious, ec)) {
            PrintError(DisplayPath(options.output) + ": the output would replace " +
                       (precious == options.stub ? "the stub" : "mksetup itself"));
            return kExitFailure;
        }
    }

    Findings findings;
    std::vector<uint8_t> stub;
    if (!ReadStub(options.stub, &stub, &error)) {
        PrintError(error);
        return kExitFailure;
    }
    CheckStub(stub, &findings);
    for (std::string& e : findings.errors)
        e = DisplayPath(options.stub) + ": " + e;
    for (std::string& w : findings.warnings)
        w = DisplayPath(options.stub) + ": " + w;
    if (!Report(&findings))
        return kExitFailure;

    std::vector<PlanEntry> entries;
    ScanProductFolder(options.product, policy, &entries, &findings);
    if (entries.empty() && findings.errors.empty())
        findings.errors.push_back(DisplayPath(options.product) + ": the folder holds no files");
    OrderEntries(&entries, options.nameOrder);
    CheckEntries(entries, stub.size(), &findings);
    if (!Report(&findings))
        return kExitFailure;

    ProgressBar progress(!options.quiet && StderrIsTerminal());
    uint64_t total = 0, done = 0;
    for (const PlanEntry& e : entries)
        total += e.size;
    std::vector<PackInput> inputs(entries.size());
    std::vector<const std::vector<uint8_t>*> contents;
    for (size_t i = 0; i < entries.size(); i++) {
        inputs[i].name = entries[i].name;
        inputs[i].dosTime = entries[i].dosTime;
        inputs[i].attributes = entries[i].attributes;
        if (!ReadWholeFile(entries[i].source, entries[i].size, &inputs[i].data, &error, &progress, &done, total)) {
            progress.Finish();
            PrintError(error);
            return kExitFailure;
        }
        contents.push_back(&inputs[i].data);
    }
    CheckContents(entries, contents, &findings);
    progress.Finish();
    Report(&findings);

    PackSettings settings;
    settings.level = options.level;
    settings.storeOnly = options.store;
    settings.archiveOffset = stub.size();
    std::vector<uint8_t> archive;
    bool packed = WriteArchive(inputs, settings, &archive, &error,
                               [&progress](uint64_t d, uint64_t t) { progress.Update("compressing", d, t); });
    progress.Finish();
    if (!packed) {
        PrintError("packing failed: " + error);
        return kExitFailure;
    }
    if (uint64_t(stub.size()) + archive.size() > kMaxSetupBytes) {
        PrintError("the setup would be " + std::to_string(stub.size() + archive.size()) +
                   " bytes; the setup can read at most " + std::to_string(kMaxSetupBytes));
        return kExitFailure;
    }
    TemporaryOutput output(options.output);
    if (!output.Write(stub, archive, &error) || !output.Commit(&error)) {
        PrintError(error);
        return kExitFailure;
    }
    if (!options.quiet)
        std::printf("mksetup: wrote %s: %zu files, %llu bytes packed into %zu, behind a %zu-byte stub\n",
                    DisplayPath(options.output).c_str(), entries.size(), (unsigned long long)total, archive.size(),
                    stub.size());
    return kExitOk;
}

} // namespace

int RunBuild(const Arguments& args)
{
    BuildOptions options;
    int parsed = ParseArguments(args, &options);
    if (parsed >= 0)
        return parsed;
    try {
        return Build(options);
    } catch (const std::bad_alloc&) {
        PrintError("out of memory");
    } catch (const std::exception& e) {
        PrintError(e.what());
    }
    return kExitFailure;
}
