// The archive container: marker, main header, one file header and data area
// per entry, an end block and the walk stop. The compressed streams come
// from lz_encoder.
#include "pack/archive_writer.h"

#include <algorithm>
#include <cstring>

#include "format/checksum.h"
#include "format/rar_format.h"
#include "pack/huffman_builder.h"
#include "pack/lz_encoder.h"

namespace {

// The reader keeps block positions and byte counts in signed 32-bit fields.
const uint64_t kMaxPosition = 0x7FFFFFFFu;

// Entries with these attribute bits are never decoded by the reader.
const uint32_t kNotDecodedAttributes = kAttrVolumeLabel | kAttrDirectory;

uint32_t Crc32(const uint8_t* data, size_t size)
{
    static const Crc32Table table = [] {
        Crc32Table t;
        BuildCrcTable(&t);
        return t;
    }();
    return Crc32Of(&table, data, size);
}

void Put16(std::vector<uint8_t>* out, uint16_t v)
{
    out->push_back(uint8_t(v));
    out->push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out->push_back(uint8_t(v >> (8 * i)));
}

// Header checksum: low half of the CRC-32 over everything behind the field.
void SealHeader(std::vector<uint8_t>* out, size_t start)
{
    uint32_t crc = Crc32(out->data() + start + 2, out->size() - start - 2);
    (*out)[start] = uint8_t(crc);
    (*out)[start + 1] = uint8_t(crc >> 8);
}

bool Fail(std::string* error, const std::string& why)
{
    if (error)
        *error = why;
    return false;
}

bool CheckEntry(const PackInput& entry, std::string* error)
{
    if (entry.name.empty())
        return Fail(error, "an entry has an empty name");
    if (entry.name.size() > size_t(kMaxNameSize))
        return Fail(error, "entry name longer than 259 bytes: " + entry.name);
    if (entry.name.find('\0') != std::string::npos)
        return Fail(error, "entry name holds a zero byte: " + entry.name);
    if (entry.data.size() > kMaxPosition)
        return Fail(error, "entry larger than 2 GiB: " + entry.name);
    if ((entry.attributes & kNotDecodedAttributes) && !entry.data.empty())
        return Fail(error, "directory or volume-label entry with data: " + entry.name);
    return true;
}

struct PackedEntry {
    bool stored = true;
    std::vector<uint8_t> data; // the compressed stream when not stored
};

// Order-0 entropy above this (bits per byte) marks data that is already
// compressed; it is stored without a trial run.
const double kIncompressibleEntropy = 7.9;
const size_t kEntropyTestMinimum = 16384;

bool LooksIncompressible(const std::vector<uint8_t>& data)
{
    if (data.size() < kEntropyTestMinimum)
        return false;
    uint64_t count[256] = {0};
    for (uint8_t b : data)
        count[b]++;
    return EntropyBits(count, data.size()) > uint64_t(kIncompressibleEntropy * 65536) * data.size();
}

// Entries this small shrink by a byte or two at best and often grow: a few
// literal steps and the padding of the last byte cost what storing costs.
const size_t kTooSmallToCompress = 16;
// Extra bytes compressed entries may cost over storing them before the
// stream is built again without them; below this payload size a second run
// costs too little to leave any entry grown.
const uint64_t kTolerableLoss = 512;
const uint64_t kCheapRerun = 4u << 20;
// The leading entries tried alone to see who pays for the first table set.
const uint64_t kLeadTrial = 64u << 10;

struct SolidRun {
    std::vector<std::vector<uint8_t>> streams; // per candidate
    std::vector<uint64_t> tableBits;
};

void CompressCandidates(const std::vector<PackInput>& entries, const std::vector<size_t>& candidates,
                        const PackSettings& settings, SolidRun* run, const std::function<void(uint64_t)>& progress)
{
    std::vector<LzEntryInput> inputs;
    for (size_t k : candidates)
        inputs.push_back({entries[k].data.data(), entries[k].data.size()});
    CompressSolid(inputs, settings.level, &run->streams, &run->tableBits, progress, settings.threads);
}

// Bytes of candidate `k`'s stream that are its own: the table sets it
// carries serve the entries after it too.
uint64_t OwnBytes(const SolidRun& run, size_t k)
{
    return run.streams[k].size() - std::min<uint64_t>(run.streams[k].size(), run.tableBits[k] / 8);
}

// The first compressed entry must carry the first table set, which a tiny
// entry cannot pay for: leading entries that would grow with it are stored.
// A trial over the leading entries alone says which; the next entry then
// carries a table set of about the same size. The trial stops at its budget,
// inside an entry if need be: a large entry must not make it slow, and an
// entry it cuts short is not judged.
void StoreTinyLeaders(const std::vector<PackInput>& entries, const PackSettings& settings,
                      std::vector<size_t>* candidates)
{
    for (int trial = 0; trial < 3 && !candidates->empty(); ++trial) {
        if (entries[candidates->front()].data.size() >= kLeadTrial)
            return;
        std::vector<LzEntryInput> inputs;
        uint64_t bytes = 0;
        while (inputs.size() < candidates->size() && bytes < kLeadTrial) {
            const std::vector<uint8_t>& data = entries[(*candidates)[inputs.size()]].data;
            size_t take = size_t(std::min<uint64_t>(data.size(), kLeadTrial - bytes));
            inputs.push_back({data.data(), take});
            bytes += take;
        }
        SolidRun run;
        CompressSolid(inputs, settings.level, &run.streams, &run.tableBits, nullptr, settings.threads);
        uint64_t tables = run.tableBits[0] / 8;
        size_t stored = 0;
        while (stored < inputs.size() && inputs[stored].size == entries[(*candidates)[stored]].data.size() &&
               OwnBytes(run, stored) + tables >= inputs[stored].size)
            ++stored;
        if (stored == 0)
            return;
        candidates->erase(candidates->begin(), candidates->begin() + stored);
    }
}

// Chooses stored or compressed for every entry and compresses the others as
// one solid stream. A stored entry never enters the reader's window, so the
// stream is built from the compressed entries alone. Entries whose stream
// is not smaller than the entry are stored, and the stream is built once
// more without them, unless the loss is too small to be worth a second run.
// A table set such an entry carried then goes with a later entry, which
// would need one anyway if its statistics differ.
bool PackEntries(const std::vector<PackInput>& entries, const PackSettings& settings, std::vector<PackedEntry>* packed,
                 std::string* error, const PackProgress& progress)
{
    packed->assign(entries.size(), PackedEntry());
    if (settings.storeOnly)
        return true;
    uint64_t total = 0;
    std::vector<size_t> candidates;
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackInput& e = entries[i];
        total += e.data.size();
        if (e.data.size() < kTooSmallToCompress || (e.attributes & kNotDecodedAttributes))
            continue;
        if (LooksIncompressible(e.data))
            continue;
        candidates.push_back(i);
    }
    if (total > kMaxPosition)
        return Fail(error, "payload larger than 2 GiB");
    StoreTinyLeaders(entries, settings, &candidates);

    uint64_t reported = 0;
    SolidRun run;
    for (int pass = 0; pass < 2 && !candidates.empty(); ++pass) {
        uint64_t solidSize = 0;
        for (size_t i : candidates)
            solidSize += entries[i].data.size();
        CompressCandidates(entries, candidates, settings, &run, [&](uint64_t done) {
            // Scaled onto the whole payload; never running backwards.
            uint64_t now = total * done / (solidSize ? solidSize : 1);
            if (progress && now > reported) {
                reported = now;
                progress(now, total);
            }
        });
        std::vector<size_t> kept;
        uint64_t loss = 0;
        for (size_t k = 0; k < candidates.size(); ++k) {
            uint64_t size = entries[candidates[k]].data.size();
            if (run.streams[k].size() < size)
                kept.push_back(candidates[k]);
            else
                loss += run.streams[k].size() - size;
        }
        if (pass == 1 || kept.size() == candidates.size() || (loss < kTolerableLoss && solidSize > kCheapRerun))
            break;
        candidates.swap(kept);
    }
    for (size_t k = 0; k < candidates.size(); ++k) {
        PackedEntry& p = (*packed)[candidates[k]];
        p.stored = false;
        p.data = std::move(run.streams[k]);
    }
    return true;
}

} // namespace

bool WriteArchive(const std::vector<PackInput>& entries, const PackSettings& settings, std::vector<uint8_t>* out,
                  std::string* error, const PackProgress& progress)
{
    // The archive is appended; on failure `out` gets its old size back.
    const size_t base = out->size();
    if (settings.level < 1 || settings.level > 5)
        return Fail(error, "compression level must be 1 to 5");
    uint64_t total = 0;
    for (const PackInput& entry : entries) {
        if (!CheckEntry(entry, error))
            return false;
        total += entry.data.size();
    }

    std::vector<PackedEntry> packed;
    if (!PackEntries(entries, settings, &packed, error, progress))
        return false;

    out->insert(out->end(), kArchiveMarker, kArchiveMarker + sizeof kArchiveMarker);
    size_t start = out->size();
    Put16(out, 0);
    out->push_back(kBlockMain);
    Put16(out, kMainFlagSolid);
    Put16(out, kMainHeaderSize);
    Put16(out, 0);
    Put32(out, 0);
    SealHeader(out, start);

    bool seenCompressed = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackInput& entry = entries[i];
        const PackedEntry& pack = packed[i];
        const std::vector<uint8_t>& payload = pack.stored ? entry.data : pack.data;
        uint64_t end =
            settings.archiveOffset + (out->size() - base) + kFileHeaderSize + entry.name.size() + payload.size();
        if (end > kMaxPosition) {
            out->resize(base);
            return Fail(error, "archive would exceed 2 GiB at entry: " + entry.name);
        }
        uint16_t flags = kFlagHasData;
        // Solid from the first compressed entry on: the reader then keeps
        // its window, tables and match history across entries.
        if (seenCompressed)
            flags |= kFlagSolid;
        if (!pack.stored)
            seenCompressed = true;

        start = out->size();
        Put16(out, 0);
        out->push_back(kBlockFile);
        Put16(out, flags);
        Put16(out, uint16_t(kFileHeaderSize + entry.name.size()));
        Put32(out, uint32_t(payload.size()));
        Put32(out, uint32_t(entry.data.size()));
        out->push_back(kHostWindows);
        Put32(out, Crc32(entry.data.data(), entry.data.size()));
        Put32(out, entry.dosTime);
        out->push_back(kUnpackVersion20);
        out->push_back(pack.stored ? kMethodStored : kMethodBest);
        Put16(out, uint16_t(entry.name.size()));
        Put32(out, entry.attributes);
        out->insert(out->end(), entry.name.begin(), entry.name.end());
        SealHeader(out, start);
        out->insert(out->end(), payload.begin(), payload.end());
    }

    start = out->size();
    Put16(out, 0);
    out->push_back(kBlockEnd);
    Put16(out, kFlagSkipIfUnknown);
    Put16(out, kMinBlockSize);
    SealHeader(out, start);
    out->resize(out->size() + kWalkStopSize);
    if (settings.archiveOffset + (out->size() - base) > kMaxPosition) {
        out->resize(base);
        return Fail(error, "archive would exceed 2 GiB");
    }
    if (progress)
        progress(total, total);
    return true;
}
