// The match finding of the optimal parser as a stage of its own: the matches
// do not depend on the parser's choices, so they are found a few stretches
// ahead on other threads while the calling thread parses. A first parsing
// pass over each stretch may run there too, a stretch ahead of the parser.
#ifndef OV_PACK_MATCH_STAGE_H
#define OV_PACK_MATCH_STAGE_H

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "pack/match_finder.h"
#include "pack/symbol_codes.h"

struct Stretch {
    uint32_t begin, end;
};

// Parses a stretch from its matches (which it may borrow but must give
// back), leaving the steps in `steps`.
using FirstPass = std::function<void(StretchMatches* found, std::vector<Symbol>* steps)>;

class MatchStage {
public:
    // Finds the matches of `stretches`, which follow one another from the
    // start of `data`. `threads` counts the calling thread: 1 finds each
    // stretch when it is asked for, more run ahead and split each stretch's
    // tree descents; the matches are the same. `firstPass`, when given,
    // runs over each stretch's matches, in stretch order.
    MatchStage(const uint8_t* data, uint32_t size, int depth, uint32_t niceLength, std::vector<Stretch> stretches,
               int threads, FirstPass firstPass = nullptr);
    ~MatchStage();
    MatchStage(const MatchStage&) = delete;
    MatchStage& operator=(const MatchStage&) = delete;

    // Swaps the matches of the next stretch into `out` and the first pass's
    // steps into `steps`; their old buffers are reused. Waiting for them,
    // the calling thread helps.
    void Next(StretchMatches* out, std::vector<Symbol>* steps = nullptr);
    // Lets the first pass of the stretch after the one Next gave last begin:
    // it reads what the parser sets up before calling this.
    void Release();

private:
    struct Slot {
        TreeStretch split;
        StretchMatches found;
        std::vector<Symbol> steps;
    };

    void Work();
    bool RunTask(std::unique_lock<std::mutex>& lock);

    TreeMatchFinder tree_;
    std::vector<Stretch> stretches_;
    FirstPass firstPass_;
    std::vector<Slot> ring_; // stretches on their way, by index mod its size
    std::vector<std::thread> threads_;

    // One lock and one signal for every change: a few per stretch. Each
    // stretch is split, descended slice by slice, gathered, passed over
    // (with a first pass) and consumed; these count the stretches through
    // each step.
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::exception_ptr failure_;
    size_t split_ = 0, gathered_ = 0, produced_ = 0, consumed_ = 0, released_ = 0;
    bool splitting_ = false, gathering_ = false, passing_ = false;
    TreeStretch* job_ = nullptr; // the stretch being descended
    int nextSlice_ = 0, slicesDone_ = 0, slicesOpen_ = 0;
};

#endif
