// The match finding of the optimal parser as a stage of its own: the matches
// do not depend on the parser's choices, so they are found a few stretches
// ahead on other threads while the calling thread parses.
#ifndef OV_PACK_MATCH_STAGE_H
#define OV_PACK_MATCH_STAGE_H

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "pack/match_finder.h"

struct Stretch {
    uint32_t begin, end;
};

class MatchStage {
public:
    // Finds the matches of `stretches`, which follow one another from the
    // start of `data`. `threads` counts the calling thread: 1 finds each
    // stretch when it is asked for, more run ahead and split each stretch's
    // tree descents; the matches are the same.
    MatchStage(const uint8_t* data, uint32_t size, int depth, uint32_t niceLength, std::vector<Stretch> stretches,
               int threads);
    ~MatchStage();
    MatchStage(const MatchStage&) = delete;
    MatchStage& operator=(const MatchStage&) = delete;

    // Swaps the matches of the next stretch into `out`; its old buffers are
    // reused. Waiting for them, the calling thread helps with the descents.
    void Next(StretchMatches* out);

private:
    struct Slot {
        TreeStretch split;
        StretchMatches found;
    };

    void Produce();
    void ProduceAll();
    void Publish(std::unique_lock<std::mutex>& lock, size_t index);
    void Help();
    bool RunSlice(std::unique_lock<std::mutex>& lock);

    TreeMatchFinder tree_;
    std::vector<Stretch> stretches_;
    std::vector<Slot> ring_; // stretches on their way, by index mod its size
    size_t produced_ = 0, consumed_ = 0;
    std::vector<std::thread> threads_;

    // One lock and one signal for every change: a few per stretch.
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::exception_ptr failure_;
    TreeStretch* job_ = nullptr; // the stretch being descended
    int nextSlice_ = 0, slicesDone_ = 0, slicesOpen_ = 0;
};

#endif
