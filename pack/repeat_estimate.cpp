#include "pack/repeat_estimate.h"

#include <cstring>

#include "format/rar_format.h"

namespace {

const int kHashBits = 18;
const size_t kMinRepeat = 16;

} // namespace

uint64_t RepeatedBytes(const std::vector<FileBytes>& files)
{
    // The files joined, as the solid stream holds them.
    std::vector<uint8_t> joined;
    for (const FileBytes& f : files)
        joined.insert(joined.end(), f.data, f.data + f.size);
    std::vector<uint32_t> last(size_t(1) << kHashBits, 0); // position + 1
    const uint8_t* p = joined.data();
    size_t n = joined.size();
    uint64_t repeated = 0;
    for (size_t i = 0; i + kMinRepeat <= n;) {
        uint64_t v;
        memcpy(&v, p + i, 8);
        uint32_t h = uint32_t((v * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
        size_t c = last[h];
        last[h] = uint32_t(i + 1);
        if (c && i - (c - 1) <= kWindowSize) {
            size_t from = c - 1, len = 0;
            while (i + len < n && p[from + len] == p[i + len])
                len++;
            if (len >= kMinRepeat) {
                repeated += len;
                i += len;
                continue;
            }
        }
        i++;
    }
    return repeated;
}
