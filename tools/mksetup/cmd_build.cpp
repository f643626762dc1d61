// mksetup build: a setup from a product folder. The stub (the bare setup
// program) is written first, then a solid archive of every file of the
// folder. Everything is checked and packed in memory and written to a
// temporary file that is renamed into place only when complete, so a failed
// build never leaves a half-written setup behind.
#include "tools/mksetup/commands.h"

#include "base/version.h"
#include "pack/archive_writer.h"
#include "tools/mksetup/archive_check.h"
#include "tools/mksetup/build_checks.h"
#include "tools/mksetup/host.h"
#include "tools/mksetup/product_scan.h"
#include "tools/mksetup/progress.h"
#include "tools/mksetup/stub_resources.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

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
                           "                     the Setup.exe installed next to mksetup)\n"
                           "  --level N          compression level, 1 (fastest) to 5 (smallest); default 3\n"
                           "  --threads N        threads to pack with, 1 to 999; default: one per\n"
                           "                     core (the setup comes out the same with any number)\n"
                           "  --store            store every file without compression\n"
                           "  --name-order       plain name order instead of grouping by extension and size\n"
                           "  --icon FILE        the setup's icon: every image of the .ico file\n"
                           "  --product-name TEXT, --product-version TEXT, --company TEXT\n"
                           "                     the product's name, version and vendor in the setup's\n"
                           "                     file properties (the name also as \"TEXT Setup\")\n"
                           "  --sign CERT        sign the setup with osslsigncode (Authenticode); CERT is\n"
                           "                     a PEM or DER certificate, or a .pfx/.p12 with its key\n"
                           "  --key KEY          the private key that goes with CERT\n"
                           "  --pass-file FILE   the key's password, read from FILE\n"
                           "  --timestamp URL    have the signature timestamped by this RFC 3161 server\n"
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
    int threads = 0; // one per core
    bool store = false;
    bool nameOrder = false;
    bool quiet = false;
    StubBranding branding; // the vendor's icon and texts in the stub's copy
    // Code signing by osslsigncode, after the setup is written.
    fs::path signCert, signKey, signPassFile;
    std::string timestampUrl;
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
        } else if (arg == "--threads") {
            std::string v;
            if (!takeValue(&v))
                return UsageError("--threads needs a number from 1 to 999");
            if (v.empty() || v.size() > 3 || v.find_first_not_of("0123456789") != std::string::npos ||
                std::atoi(v.c_str()) < 1)
                return UsageError("--threads must be a whole number from 1 to 999, not '" + v + "'");
            options->threads = std::atoi(v.c_str());
        } else if (arg == "--sign" || arg == "--key" || arg == "--pass-file" || arg == "--timestamp") {
            std::string v;
            if (!takeValue(&v) || v.empty())
                return UsageError(arg + (arg == "--timestamp" ? " needs a URL" : " needs a file name"));
            if (arg == "--timestamp")
                options->timestampUrl = v;
            else
                (arg == "--sign"  ? options->signCert
                 : arg == "--key" ? options->signKey
                                  : options->signPassFile) = PathArgument(v);
        } else if (arg == "--icon" || arg == "--product-name" || arg == "--product-version" || arg == "--company") {
            std::string v;
            if (!takeValue(&v) || v.empty())
                return UsageError(arg + (arg == "--icon" ? " needs a file name" : " needs a text"));
            if (arg == "--icon")
                options->branding.icon = PathArgument(v);
            else
                (arg == "--company"        ? options->branding.company
                 : arg == "--product-name" ? options->branding.productName
                                           : options->branding.productVersion) = v;
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
    if (options->signCert.empty() &&
        (!options->signKey.empty() || !options->signPassFile.empty() || !options->timestampUrl.empty()))
        return UsageError("--key, --pass-file and --timestamp go with --sign");
    std::string ext = options->signCert.extension().u8string();
    bool pkcs12 = ext == ".pfx" || ext == ".p12" || ext == ".PFX" || ext == ".P12";
    if (!options->signCert.empty() && options->signKey.empty() && !pkcs12)
        return UsageError("--sign CERT needs --key KEY, unless CERT is a .pfx or .p12 file that holds the key");
    return -1;
}

// --stub, else Setup.exe beside this program (where it is installed), else
// where the win32 preset builds it, seen from where the presets build this
// program (build/PRESET/tools/mksetup/).
bool FindStub(BuildOptions* options, std::string* error)
{
    if (!options->stub.empty())
        return true;
    std::error_code ec;
    fs::path self = OwnProgramPath().parent_path();
    for (const fs::path& candidate : {self / "Setup.exe", self / ".." / ".." / ".." / "win32" / "app" / "Setup.exe"}) {
        if (!self.empty() && fs::is_regular_file(candidate, ec)) {
            options->stub = candidate.lexically_normal();
            return true;
        }
    }
    *error = "no stub: no Setup.exe next to mksetup in " + DisplayPath(self) + "; pass --stub FILE";
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

    // Signs the written file in place: osslsigncode writes a signed copy
    // beside it, which then takes its place.
    bool Sign(const BuildOptions& options, std::string* error)
    {
        fs::path signedCopy = path_;
        signedCopy += ".signed";
        RemoveOnInterrupt(signedCopy, 1);
        std::string ext = options.signCert.extension().u8string();
        bool pkcs12 = ext == ".pfx" || ext == ".p12" || ext == ".PFX" || ext == ".P12";
        Arguments args = {"osslsigncode", "sign", pkcs12 ? "-pkcs12" : "-certs", options.signCert.u8string()};
        if (!options.signKey.empty())
            args.insert(args.end(), {"-key", options.signKey.u8string()});
        if (!options.signPassFile.empty())
            args.insert(args.end(), {"-readpass", options.signPassFile.u8string()});
        if (!options.timestampUrl.empty())
            args.insert(args.end(), {"-ts", options.timestampUrl});
        args.insert(args.end(), {"-in", path_.u8string(), "-out", signedCopy.u8string()});
        std::string output, why;
        int code = RunProgram(args, &output, &why);
        bool ok = code == 0 && RenameReplacing(signedCopy, path_, &why);
        std::error_code ec;
        fs::remove(signedCopy, ec);
        RemoveOnInterrupt(fs::path(), 1);
        if (!ok) {
            // osslsigncode says what went wrong on its last few lines.
            std::vector<std::string> lines;
            for (size_t at = 0, end; at < output.size(); at = end + 1) {
                end = std::min(output.find('\n', at), output.size());
                std::string line = output.substr(at, end - at);
                if (line.find_first_not_of(" \r\t") != std::string::npos)
                    lines.push_back(line.substr(0, line.find_last_not_of(" \r\t") + 1));
            }
            std::string said;
            for (size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); i++)
                said += (said.empty() ? ": " : " / ") + lines[i];
            *error =
                "signing failed: " + (code < 0 ? why : "osslsigncode exited with code " + std::to_string(code) + said);
        }
        return ok;
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
    if (!BrandStub(options.branding, options.stub, &stub, &error)) {
        PrintError(error);
        return kExitFailure;
    }

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
    {
        std::vector<PlanEntry> settledEntries;
        std::vector<PackInput> settledInputs;
        for (size_t k : SettleOrder(entries, contents)) {
            settledEntries.push_back(std::move(entries[k]));
            settledInputs.push_back(std::move(inputs[k]));
        }
        entries.swap(settledEntries);
        inputs.swap(settledInputs);
        contents.clear(); // they pointed into the old order
    }
    Report(&findings);

    PackSettings settings;
    settings.level = options.level;
    settings.storeOnly = options.store;
    settings.threads = options.threads;
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
    bool written = output.Write(stub, archive, &error);
    if (written && !options.signCert.empty()) {
        written = output.Sign(options, &error);
        // What signing appended must leave the archive as the setup reads it.
        std::string fault = written ? CheckArchiveBlocks(output.path().u8string()) : "";
        if (!fault.empty()) {
            error = "the signed setup fails its check: " + fault;
            written = false;
        }
    }
    if (!written || !output.Commit(&error)) {
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
