#include "pack/segment_parse.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

const uint32_t kParseSegment = 1u << 21;

struct Segment {
    struct Piece {
        size_t end;       // in `steps`
        uint32_t reached; // stream position after it
    };
    std::vector<Symbol> steps;
    std::vector<Piece> pieces; // one per Parse call
};

void ParseSegment(const uint8_t* data, uint32_t size, const ParserSettings& settings,
                  const std::vector<uint32_t>& entryEnds, uint32_t chunk, uint32_t begin, uint32_t end, Segment* out)
{
    out->steps.clear();
    out->pieces.clear();
    Parser parser(data, size, settings);
    parser.StartAt(begin);
    uint32_t pos = begin;
    for (auto e = std::upper_bound(entryEnds.begin(), entryEnds.end(), begin); pos < end; ++e) {
        uint32_t entryStart = e == entryEnds.begin() ? 0 : e[-1];
        uint32_t stop = std::min(*e, end);
        while (pos < stop) {
            size_t from = out->steps.size();
            bool first = pos == entryStart;
            pos = parser.Parse(pos, std::min(stop, pos + chunk), stop, &out->steps);
            if (first)
                out->steps[from].firstOfEntry = 1;
            out->pieces.push_back({out->steps.size(), pos});
        }
    }
}

void Hand(const Segment& segment, const TakePiece& take, std::vector<Symbol>* piece)
{
    size_t from = 0;
    for (const Segment::Piece& p : segment.pieces) {
        piece->assign(segment.steps.begin() + ptrdiff_t(from), segment.steps.begin() + ptrdiff_t(p.end));
        take(*piece, p.reached);
        from = p.end;
    }
}

} // namespace

void ParseInSegments(const uint8_t* data, uint32_t size, const ParserSettings& settings,
                     const std::vector<uint32_t>& entryEnds, uint32_t chunk, int threads, const TakePiece& take)
{
    size_t count = (size_t(size) + kParseSegment - 1) / kParseSegment;
    auto parse = [&](size_t k, Segment* out) {
        uint32_t begin = uint32_t(k * kParseSegment);
        ParseSegment(data, size, settings, entryEnds, chunk, begin, std::min(size, begin + kParseSegment), out);
    };
    std::vector<Symbol> piece;
    if (threads <= 1 || count <= 1) {
        Segment segment;
        for (size_t k = 0; k < count; ++k) {
            parse(k, &segment);
            Hand(segment, take, &piece);
        }
        return;
    }

    // Segments parsed ahead of the one handed on, at most: each holds its steps.
    const size_t ahead = size_t(threads) + 1;
    std::vector<Segment> ring(ahead);
    std::vector<char> ready(count, 0);
    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0, handed = 0;
    bool stop = false;
    std::exception_ptr failure;

    auto work = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stop || next >= count || next < handed + ahead; });
            if (stop || next >= count)
                return;
            size_t k = next++;
            lock.unlock();
            try {
                parse(k, &ring[k % ahead]);
            } catch (...) {
                lock.lock();
                failure = std::current_exception();
                stop = true;
                changed.notify_all();
                return;
            }
            lock.lock();
            ready[k] = 1;
            changed.notify_all();
        }
    };
    std::vector<std::thread> pool;
    // Stops and joins the threads however this ends, a failure of `take` too.
    struct Joiner {
        std::vector<std::thread>& pool;
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& stop;
        ~Joiner()
        {
            {
                std::lock_guard<std::mutex> lock(mutex);
                stop = true;
            }
            changed.notify_all();
            for (std::thread& t : pool)
                t.join();
        }
    } joiner{pool, mutex, changed, stop};
    for (int i = 0; i < threads && size_t(i) < count; ++i)
        pool.emplace_back(work);

    std::exception_ptr failed;
    for (size_t k = 0; k < count; ++k) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return ready[k] || failure; });
            failed = failure;
            if (failed)
                break;
        }
        Hand(ring[k % ahead], take, &piece);
        {
            std::lock_guard<std::mutex> lock(mutex);
            handed = k + 1;
        }
        changed.notify_all();
    }
    if (failed)
        std::rethrow_exception(failed);
}
