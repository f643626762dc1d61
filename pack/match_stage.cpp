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

} // namespace

MatchStage::MatchStage(const uint8_t* data, uint32_t size, int depth, uint32_t niceLength,
                       std::vector<Stretch> stretches, int threads)
    : tree_(data, size, depth, niceLength, threads > 1 ? kSlicesPerThread * threads : 1)
    , stretches_(std::move(stretches))
    , ring_(threads > 1 ? kInFlight : 0)
{
    if (threads <= 1)
        return;
    threads_.emplace_back(&MatchStage::Produce, this);
    for (int i = 2; i < threads; ++i)
        threads_.emplace_back(&MatchStage::Help, this);
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

void MatchStage::Next(StretchMatches* out)
{
    if (threads_.empty()) {
        const Stretch& s = stretches_[consumed_++];
        tree_.Gather(s.begin, s.end, nullptr, kMaxMatchesPerPosition, out);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    while (produced_ == consumed_ && !failure_) {
        if (!RunSlice(lock))
            changed_.wait(lock);
    }
    if (failure_)
        std::rethrow_exception(failure_);
    std::swap(*out, ring_[consumed_ % kInFlight].found);
    ++consumed_;
    lock.unlock();
    changed_.notify_all();
}

// Descends one open slice of the current stretch, if any is left.
bool MatchStage::RunSlice(std::unique_lock<std::mutex>& lock)
{
    if (nextSlice_ >= slicesOpen_)
        return false;
    int slice = nextSlice_++;
    TreeStretch* job = job_;
    lock.unlock();
    try {
        tree_.Descend(job, slice);
    } catch (...) {
        lock.lock();
        failure_ = std::current_exception();
        ++slicesDone_;
        changed_.notify_all();
        return true;
    }
    lock.lock();
    if (++slicesDone_ == slicesOpen_)
        changed_.notify_all();
    return true;
}

void MatchStage::Produce()
{
    try {
        ProduceAll();
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = std::current_exception();
    }
    changed_.notify_all();
}

// Splits each stretch in turn into slices and opens them to the helpers and
// the waiting parser; while they descend, gathers the stretch before. Never
// more than kInFlight stretches ahead of the parser.
void MatchStage::ProduceAll()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (size_t k = 0; k < stretches_.size(); ++k) {
        changed_.wait(lock, [&] { return stop_ || k < consumed_ + kInFlight; });
        if (stop_)
            return;
        TreeStretch* split = &ring_[k % kInFlight].split;
        lock.unlock();
        tree_.Split(stretches_[k].begin, stretches_[k].end, split);
        lock.lock();
        job_ = split;
        nextSlice_ = slicesDone_ = 0;
        slicesOpen_ = tree_.Slices();
        changed_.notify_all();
        if (k > 0)
            Publish(lock, k - 1);
        while (RunSlice(lock)) {
        }
        changed_.wait(lock, [&] { return stop_ || slicesDone_ == slicesOpen_; });
        slicesOpen_ = 0;
        if (stop_ || failure_)
            return;
    }
    if (!stretches_.empty())
        Publish(lock, stretches_.size() - 1);
}

void MatchStage::Publish(std::unique_lock<std::mutex>& lock, size_t index)
{
    Slot& slot = ring_[index % kInFlight];
    lock.unlock();
    tree_.Gather(slot.split.begin, slot.split.end, &slot.split, kMaxMatchesPerPosition, &slot.found);
    lock.lock();
    ++produced_;
    changed_.notify_all();
}

void MatchStage::Help()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (!RunSlice(lock))
            changed_.wait(lock);
    }
}
