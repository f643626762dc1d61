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

// Bytes of the files, taken one after the other, that a greedy search with
// one candidate per position finds again within the window behind them, in
// stretches of 16 bytes or more. Several times faster than packing.
uint64_t RepeatedBytes(const std::vector<FileBytes>& files);

#endif
