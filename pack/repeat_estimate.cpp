#include "pack/repeat_estimate.h"

#include <algorithm>
#include <cstring>

#include "format/rar_format.h"
#include "pack/match_finder.h"

namespace {

const int kSlotBits = 16;
// One position in 16 is an anchor: stretches of a few dozen bytes and more
// meet one, at a sixteenth of the lookups.
const int kAnchorBits = 4;
const size_t kMinRepeat = 16;

} // namespace

std::vector<FileAnchors> FindAnchors(const std::vector<FileBytes>& files)
{
    std::vector<FileAnchors> anchors(files.size());
    for (size_t f = 0; f < files.size(); f++) {
        const uint8_t* p = files[f].data;
        for (size_t i = 0; i + 8 <= files[f].size; i++) {
            uint64_t v;
            memcpy(&v, p + i, 8);
            uint64_t h = v * 0x9E3779B97F4A7C15ull;
            if (h >> (64 - kAnchorBits))
                continue;
            anchors[f].offset.push_back(uint32_t(i));
            anchors[f].slot.push_back(uint16_t(h >> (64 - kAnchorBits - kSlotBits)));
        }
    }
    return anchors;
}

uint64_t RepeatedBytes(const std::vector<FileBytes>& files, const std::vector<FileAnchors>& anchors,
                       const std::vector<size_t>& order)
{
    // Where each file of the order starts in the stream; the table keeps
    // stream positions + 1 (0: none), small enough to stay in the cache.
    std::vector<uint64_t> starts;
    uint64_t total = 0;
    for (size_t f : order) {
        starts.push_back(total);
        total += files[f].size;
    }
    std::vector<uint32_t> table(size_t(1) << kSlotBits, 0);
    uint64_t repeated = 0;
    for (size_t k = 0; k < order.size(); k++) {
        const FileBytes& file = files[order[k]];
        const FileAnchors& own = anchors[order[k]];
        size_t counted = 0; // bytes of the file before this are counted or passed over
        for (size_t a = 0; a < own.offset.size(); a++) {
            size_t i = own.offset[a];
            uint64_t at = starts[k] + i;
            uint32_t seen = table[own.slot[a]];
            table[own.slot[a]] = uint32_t(at + 1);
            if (!seen || at - (seen - 1) > kWindowSize || i < counted)
                continue;
            // The file the earlier position lies in.
            size_t s = size_t(std::upper_bound(starts.begin(), starts.end(), uint64_t(seen - 1)) - starts.begin()) - 1;
            const uint8_t* p = file.data;
            const uint8_t* q = files[order[s]].data;
            size_t from = size_t(seen - 1 - starts[s]), n = file.size, m = files[order[s]].size;
            size_t ahead = CommonLength(p + i, q + from, 0, uint32_t(std::min(n - i, m - from))), back = 0;
            while (back < from && i - back > counted && q[from - back - 1] == p[i - back - 1])
                back++;
            if (ahead + back >= kMinRepeat) {
                repeated += ahead + back;
                counted = i + ahead;
            }
        }
    }
    return repeated;
}
