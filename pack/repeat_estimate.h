// A quick estimate of how much of a run of files repeats what came before
// within the window: to weigh one order of files against another.
#ifndef OV_PACK_REPEAT_ESTIMATE_H
#define OV_PACK_REPEAT_ESTIMATE_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct FileBytes {
    const uint8_t* data;
    size_t size;
};

// The positions of one file where the estimate looks, chosen by content, so
// that a repeat meets its original at the same ones: found once, weighed in
// any order.
struct FileAnchors {
    std::vector<uint32_t> offset;
    std::vector<uint16_t> slot;
};

std::vector<FileAnchors> FindAnchors(const std::vector<FileBytes>& files);

// Bytes of the files, taken in `order` (indices into `files`), that repeat
// a file before them within the window, in stretches of 16 bytes or more,
// as far as a search from the anchors finds them. Repeats across the end of
// a file are not followed.
uint64_t RepeatedBytes(const std::vector<FileBytes>& files, const std::vector<FileAnchors>& anchors,
                       const std::vector<size_t>& order);

#endif
