#include "pack/match_stage.h"

#include <algorithm>
#include <utility>

namespace {

// Stretches found ahead of the parser at most: each holds a stretch's matches.
const size_t kInFlight = 3;
// The optimal parser weighs this many matches per position at most.
const int kMaxMatchesPerPosition = 48;
// Parts per thread: small parts let a thread that is done early take more.
const int kPartsPerThread = 4;

} // namespace

MatchStage::MatchStage(const uint8_t* data, uint32_t size, int depth, uint32_t niceLength,
                       std::vector<Stretch> stretches, int threads)
    : tree_(data, size, depth, niceLength, threads > 1 ? kPartsPerThread * threads : 1)
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
        tree_.Gather(s.begin, s.end, kMaxMatchesPerPosition, out);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    while (produced_ == consumed_ && !failure_) {
        if (!RunPart(lock))
            changed_.wait(lock);
    }
    if (failure_)
        std::rethrow_exception(failure_);
    std::swap(*out, ring_[consumed_ % kInFlight]);
    ++consumed_;
    lock.unlock();
    changed_.notify_all();
}

// Descends one open part of the current stretch, if any is left.
bool MatchStage::RunPart(std::unique_lock<std::mutex>& lock)
{
    if (nextPart_ >= partsOpen_)
        return false;
    int part = nextPart_++;
    uint32_t end = jobEnd_;
    lock.unlock();
    try {
        tree_.Descend(end, part);
    } catch (...) {
        lock.lock();
        failure_ = std::current_exception();
        ++partsDone_;
        changed_.notify_all();
        return true;
    }
    lock.lock();
    if (++partsDone_ == partsOpen_)
        changed_.notify_all();
    return true;
}

// Splits each stretch in turn into parts, descends them with the helpers
// and the waiting parser, and gathers the matches; never more than
// kInFlight stretches ahead of the parser.
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

void MatchStage::ProduceAll()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (const Stretch& s : stretches_) {
        changed_.wait(lock, [&] { return stop_ || produced_ - consumed_ < kInFlight; });
        if (stop_)
            return;
        lock.unlock();
        tree_.Split(s.begin, s.end);
        lock.lock();
        jobEnd_ = s.end;
        nextPart_ = partsDone_ = 0;
        partsOpen_ = tree_.Parts();
        changed_.notify_all();
        while (RunPart(lock)) {
        }
        changed_.wait(lock, [&] { return stop_ || partsDone_ == partsOpen_; });
        partsOpen_ = 0;
        if (stop_ || failure_)
            return;
        lock.unlock();
        tree_.Gather(s.begin, s.end, kMaxMatchesPerPosition, &ring_[produced_ % kInFlight]);
        lock.lock();
        ++produced_;
        changed_.notify_all();
    }
}

void MatchStage::Help()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (!RunPart(lock))
            changed_.wait(lock);
    }
}
