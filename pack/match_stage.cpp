#include "pack/match_stage.h"

#include <algorithm>
#include <utility>

namespace {

// Stretches found ahead of the parser at most: each holds a stretch's matches.
const size_t kInFlight = 3;
// The optimal parser weighs this many matches per position at most.
const int kMaxMatchesPerPosition = 48;
// Slices per thread: small slices let a thread that is done early take more.
const int kSlicesPerThread = 4;

// Runs `body` without the lock; a failure is kept for the parser to rethrow.
template <class Body>
bool Unlocked(std::unique_lock<std::mutex>& lock, std::exception_ptr* failure, Body body)
{
    lock.unlock();
    try {
        body();
    } catch (...) {
        lock.lock();
        *failure = std::current_exception();
        return false;
    }
    lock.lock();
    return true;
}

} // namespace

MatchStage::MatchStage(const uint8_t* data, uint32_t size, int depth, uint32_t niceLength,
                       std::vector<Stretch> stretches, int threads, FirstPass firstPass)
    : tree_(data, size, depth, niceLength, threads > 1 ? kSlicesPerThread * threads : 1)
    , stretches_(std::move(stretches))
    , firstPass_(std::move(firstPass))
    , ring_(threads > 1 ? kInFlight : 1)
{
    for (int i = 1; i < threads; ++i)
        threads_.emplace_back(&MatchStage::Work, this);
}

MatchStage::~MatchStage()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

void MatchStage::Next(StretchMatches* out, std::vector<Symbol>* steps)
{
    if (threads_.empty()) {
        const Stretch& s = stretches_[consumed_++];
        TreeStretch& split = ring_[0].split;
        tree_.Split(s.begin, s.end, &split);
        tree_.Descend(&split, 0);
        tree_.Gather(s.begin, s.end, split, kMaxMatchesPerPosition, out);
        if (firstPass_)
            firstPass_(out, steps);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    while (produced_ == consumed_ && !failure_) {
        if (!RunTask(lock))
            changed_.wait(lock);
    }
    if (failure_)
        std::rethrow_exception(failure_);
    Slot& slot = ring_[consumed_ % kInFlight];
    std::swap(*out, slot.found);
    if (steps)
        std::swap(*steps, slot.steps);
    ++consumed_;
    lock.unlock();
    changed_.notify_all();
}

void MatchStage::Release()
{
    if (threads_.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++released_;
    }
    changed_.notify_all();
}

void MatchStage::Work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (!RunTask(lock))
            changed_.wait(lock);
    }
}

// Runs one step of the earliest stretch that has one ready, if any: the
// parser may be waiting for it. Each step runs on one thread at a time,
// stretch after stretch, except the descents of a stretch's slices.
bool MatchStage::RunTask(std::unique_lock<std::mutex>& lock)
{
    if (stop_ || failure_)
        return false;
    if (firstPass_ && !passing_ && produced_ < gathered_ && produced_ <= released_) {
        Slot& slot = ring_[produced_ % kInFlight];
        passing_ = true;
        if (Unlocked(lock, &failure_, [&] { firstPass_(&slot.found, &slot.steps); })) {
            passing_ = false;
            ++produced_;
        }
    } else if (!gathering_ && gathered_ < split_ && (gathered_ + 1 < split_ || slicesDone_ == slicesOpen_)) {
        Slot& slot = ring_[gathered_ % kInFlight];
        gathering_ = true;
        if (Unlocked(lock, &failure_, [&] {
                tree_.Gather(slot.split.begin, slot.split.end, slot.split, kMaxMatchesPerPosition, &slot.found);
            })) {
            gathering_ = false;
            ++gathered_;
            if (!firstPass_)
                produced_ = gathered_;
        }
    } else if (!splitting_ && slicesDone_ == slicesOpen_ && split_ < stretches_.size() &&
               split_ < consumed_ + kInFlight) {
        // A slot is free once its stretch is consumed; the descents of the
        // stretch before are all done.
        Slot& slot = ring_[split_ % kInFlight];
        const Stretch& s = stretches_[split_];
        splitting_ = true;
        if (Unlocked(lock, &failure_, [&] { tree_.Split(s.begin, s.end, &slot.split); })) {
            splitting_ = false;
            job_ = &slot.split;
            nextSlice_ = slicesDone_ = 0;
            slicesOpen_ = tree_.Slices();
            ++split_;
        }
    } else if (nextSlice_ < slicesOpen_) {
        int slice = nextSlice_++;
        TreeStretch* job = job_;
        if (Unlocked(lock, &failure_, [&] { tree_.Descend(job, slice); }))
            ++slicesDone_;
    } else {
        return false;
    }
    changed_.notify_all();
    return true;
}
