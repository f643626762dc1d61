// The solid symbol stream: parses every entry in order and hands the steps
// to the block coder, chunk by chunk.
#include "pack/lz_encoder.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "pack/block_coder.h"
#include "pack/parser.h"
#include "pack/segment_parse.h"

namespace {

// Input bytes parsed before the steps go to the block coder.
const uint32_t kParseChunk = 1u << 15;
// More threads than this find no more work.
const int kMaxThreads = 64;
// Parse chunks the coder thread may fall behind by.
const size_t kCoderBacklog = 8;

// Merged blocks weigh many splits per block: with more than one thread the
// block coder runs on a thread of its own, behind the parser, which is what
// every other thread waits for.
class CoderThread {
public:
    explicit CoderThread(BlockCoder* coder)
        : coder_(coder)
        , thread_([this] { Run(); })
    {}
    ~CoderThread()
    {
        if (thread_.joinable()) {
            Close();
            thread_.join();
        }
    }
    CoderThread(const CoderThread&) = delete;
    CoderThread& operator=(const CoderThread&) = delete;

    // Takes the steps, leaving `steps` empty.
    void Add(std::vector<Symbol>* steps)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return queue_.size() < kCoderBacklog || failure_; });
        if (failure_)
            std::rethrow_exception(failure_);
        queue_.emplace_back();
        queue_.back().swap(*steps);
        changed_.notify_all();
    }

    // Waits until the coder has taken every step and finished.
    void Finish()
    {
        Close();
        thread_.join();
        if (failure_)
            std::rethrow_exception(failure_);
    }

private:
    void Close()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

    void Run()
    {
        try {
            for (;;) {
                std::vector<Symbol> steps;
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    changed_.wait(lock, [&] { return !queue_.empty() || closed_; });
                    if (queue_.empty())
                        break;
                    steps.swap(queue_.front());
                    queue_.pop_front();
                    changed_.notify_all();
                }
                coder_->Add(steps);
            }
            coder_->Finish();
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            failure_ = std::current_exception();
            changed_.notify_all();
        }
    }

    BlockCoder* coder_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<Symbol>> queue_;
    bool closed_ = false;
    std::exception_ptr failure_;
    std::thread thread_; // last: starts once the rest is ready
};

} // namespace

void CompressSolid(const std::vector<LzEntryInput>& entries, int level, std::vector<std::vector<uint8_t>>* packed,
                   std::vector<uint64_t>* tableBits, const std::function<void(uint64_t)>& progress, int threads)
{
    packed->clear();
    tableBits->clear();
    uint64_t total = 0;
    for (const LzEntryInput& e : entries)
        total += e.size;
    // One contiguous copy: positions in it are the reader's window positions.
    std::vector<uint8_t> data;
    data.reserve(total);
    for (const LzEntryInput& e : entries)
        data.insert(data.end(), e.data, e.data + e.size);

    ParserSettings settings = ParserSettingsForLevel(level);
    if (threads <= 0)
        threads = int(std::thread::hardware_concurrency());
    threads = std::max(1, std::min(threads, kMaxThreads));
    // Merging weighs exact costs, a table build each: worth it from level 3
    // on, where parsing costs several times that anyway. Level 3 starts
    // from units of 512 steps, not 128: a quarter of the merging work for
    // 0.1% of the size. It merges on where that loses a little, for fewer
    // table sets: each costs the reader about as much time as a few
    // hundred steps, and the default level's setups are unpacked most.
    BlockSplit split = level <= 2 ? BlockSplit::kEstimated : BlockSplit::kMerged;
    BlockCoder coder(packed, tableBits, split, level == 3 ? 512 : 128, level == 3 ? 1000 : 0);
    if (settings.mode != ParseMode::kOptimal) {
        std::vector<uint32_t> entryEnds;
        uint32_t at = 0;
        for (const LzEntryInput& e : entries)
            entryEnds.push_back(at += uint32_t(e.size));
        ParseInSegments(data.data(), uint32_t(data.size()), settings, entryEnds, kParseChunk, threads,
                        [&](const std::vector<Symbol>& steps, uint32_t reached) {
                            coder.Add(steps);
                            if (progress)
                                progress(reached);
                        });
        coder.Finish();
        return;
    }
    // Declared before the stage, whose threads may run it until it ends.
    std::unique_ptr<Parser> firstPass;
    std::unique_ptr<MatchStage> stage;
    // The optimal parser codes each entry in whole chunks (see below).
    std::vector<Stretch> stretches;
    uint32_t at = 0;
    for (const LzEntryInput& e : entries)
        for (uint32_t end = at + uint32_t(e.size); at < end; at = std::min(end, at + kParseChunk))
            stretches.push_back({at, std::min(end, at + kParseChunk)});
    FirstPass pass;
    if (settings.passes > 1) {
        firstPass.reset(new Parser(data.data(), uint32_t(data.size()), settings));
        Parser* p = firstPass.get();
        pass = [p](StretchMatches* found, std::vector<Symbol>* steps) { p->FirstPass(found, steps); };
    }
    stage.reset(new MatchStage(data.data(), uint32_t(data.size()), settings.searchDepth, settings.niceLength,
                               std::move(stretches), threads, pass));
    Parser parser(data.data(), uint32_t(data.size()), settings, stage.get(), firstPass.get());
    std::unique_ptr<CoderThread> behind;
    if (threads > 1 && split == BlockSplit::kMerged)
        behind.reset(new CoderThread(&coder));
    std::vector<Symbol> symbols;
    uint32_t pos = 0;
    for (const LzEntryInput& e : entries) {
        uint32_t end = pos + uint32_t(e.size);
        bool first = true;
        while (pos < end) {
            size_t from = symbols.size();
            pos = parser.Parse(pos, std::min(end, pos + kParseChunk), end, &symbols);
            if (first && symbols.size() > from)
                symbols[from].firstOfEntry = 1;
            first = false;
            if (behind)
                behind->Add(&symbols);
            else
                coder.Add(symbols);
            symbols.clear();
            if (progress)
                progress(pos);
        }
    }
    if (behind)
        behind->Finish();
    else
        coder.Finish();
}
