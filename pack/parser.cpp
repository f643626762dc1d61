// Parsing by level:
// - 1: greedy: of the matches at each position (the longest, and the
//   shorter but nearer ones a search of 4 hash-row candidates passes on the
//   way) and the recent-distance matches, the one that saves the most
//   estimated bits.
// - 2, 3: lazy: a match is taken only when the next position (level 3: or
//   the one after) offers no longer one; the look-ahead searches only for
//   longer matches and with a shorter search once the match in hand is good
//   (two positions on, always).
// - 4, 5: optimal: all matches of each position of a 32 KiB stretch come
//   from a binary tree over the window; a shortest-path pass then prices
//   every literal, match length, recent-distance match, repeat of the last
//   match and short match with the code lengths the latest statistics give.
//   Each path node carries the decoder's match history, so recent-distance
//   prices follow the path, and a match, one or two literals and a recent0
//   match at the same distance count as one step. Level 5 prices each stretch
//   again with the statistics of its own first pass, which takes the prices
//   of the stretch before and goes on from the history of the first pass
//   before, so that it runs a stretch ahead on another thread; in both passes
//   each node also keeps the cheapest arrival that leaves another pair of
//   most recent distances.
// Prices everywhere are code lengths in bits; statistics of earlier stretches
// carry over at half weight.
#include "pack/parser.h"

#include <algorithm>
#include <cstring>

#include "pack/huffman_builder.h"

namespace {

const uint32_t kUnreachable = 0xFFFFFFFFu;
// The second arrival is followed only when it costs at most this many bits
// more: dearer ones hardly ever win, and each doubles a node's work.
const uint32_t kArrivalMargin = 8;

} // namespace

ParserSettings ParserSettingsForLevel(int level)
{
    switch (level) {
    case 1:
        return {ParseMode::kGreedy, 4, 32, 1, 0, 1};
    case 2:
        return {ParseMode::kLazy, 8, 64, 1, 16, 1};
    case 3:
        return {ParseMode::kLazy, 256, 258, 1, 48, 1, 2};
    case 4:
        return {ParseMode::kOptimal, 48, 128, 1, 0, 1};
    default:
        return {ParseMode::kOptimal, 256, 258, 2, 0, 2};
    }
}

Parser::Parser(const uint8_t* data, uint32_t size, const ParserSettings& settings, MatchStage* stage, Parser* firstPass)
    : data_(data)
    , settings_(settings)
    , finder_(data, size, settings.mode == ParseMode::kOptimal ? 0 : settings.searchDepth, settings.niceLength)
    , stage_(stage)
    , firstPass_(firstPass)
{
    CountAndPrice(std::vector<Symbol>(), 0, false);
}

// Prices are the code lengths the statistics of the latest steps would get,
// smoothed so that unseen symbols stay possible but dear.
void Parser::CountAndPrice(const std::vector<Symbol>& symbols, size_t from, bool keep)
{
    uint32_t mainFreq[kMainSymbols], distFreq[kDistanceSymbols], lenFreq[kRepeatLengthSymbols];
    std::fill(mainFreq, mainFreq + kMainSymbols, 0);
    std::fill(distFreq, distFreq + kDistanceSymbols, 0);
    std::fill(lenFreq, lenFreq + kRepeatLengthSymbols, 0);
    for (size_t i = from; i < symbols.size(); ++i) {
        const Symbol& s = symbols[i];
        mainFreq[s.main]++;
        if (s.main >= kSymbolMatch)
            distFreq[s.aux]++;
        else if (s.main >= kSymbolRecent && s.main < kSymbolShort)
            lenFreq[s.aux]++;
    }
    // The previous statistics count at half weight: a short stretch alone
    // says little about symbols it happens not to use.
    for (int i = 0; i < kMainSymbols; ++i)
        mainFreq[i] = 4 * mainFreq[i] + carryMain_[i] / 2 + 1;
    for (int i = 0; i < kDistanceSymbols; ++i)
        distFreq[i] = 4 * distFreq[i] + carryDist_[i] / 2 + 1;
    for (int i = 0; i < kRepeatLengthSymbols; ++i)
        lenFreq[i] = 4 * lenFreq[i] + carryLen_[i] / 2 + 1;
    if (keep) {
        std::copy(mainFreq, mainFreq + kMainSymbols, carryMain_);
        std::copy(distFreq, distFreq + kDistanceSymbols, carryDist_);
        std::copy(lenFreq, lenFreq + kRepeatLengthSymbols, carryLen_);
    }
    uint8_t mainLen[kMainSymbols], distLen[kDistanceSymbols], lenLen[kRepeatLengthSymbols];
    BuildCodeLengths(mainFreq, kMainSymbols, kMaxCodeLength, mainLen);
    BuildCodeLengths(distFreq, kDistanceSymbols, kMaxCodeLength, distLen);
    BuildCodeLengths(lenFreq, kRepeatLengthSymbols, kMaxCodeLength, lenLen);
    for (int i = 0; i < kMainSymbols; ++i)
        mainPrice_[i] = mainLen[i];
    for (int i = 0; i < kDistanceSymbols; ++i)
        distancePrice_[i] = distLen[i] + kDistanceExtraBits[i];
    for (int i = 0; i < kRepeatLengthSymbols; ++i)
        recentLengthPrice_[i] = lenLen[i] + kLengthExtraBits[i];
    for (uint32_t v = 0; v < 256; ++v) {
        int c = LengthCode(v);
        matchLengthPrice_[v] = mainPrice_[kSymbolMatch + c] + kLengthExtraBits[c];
        recentLengthAll_[v] = recentLengthPrice_[c];
    }
}

uint32_t Parser::PriceOf(Kind kind, uint32_t length, uint32_t dist) const
{
    switch (kind) {
    case kRepeatLast:
        return mainPrice_[kSymbolRepeatLast];
    case kRecent0:
    case kRecent1:
    case kRecent2:
    case kRecent3:
        return mainPrice_[kSymbolRecent + (kind - kRecent0)] + recentLengthAll_[length - 2 - RecentLengthBonus(dist)];
    case kShort: {
        int c = ShortCode(dist - 1);
        return mainPrice_[kSymbolShort + c] + kShortDistanceExtraBits[c];
    }
    case kMatch:
        return matchLengthPrice_[length - 3 - MatchLengthBonus(dist)] + distancePrice_[DistanceCode(dist - 1)];
    default:
        return mainPrice_[data_[0]];
    }
}

uint32_t Parser::BestCoding(uint32_t length, uint32_t dist, const MatchHistory& history, Kind* kind) const
{
    uint32_t best = kUnreachable;
    auto consider = [&](Kind k) {
        uint32_t p = PriceOf(k, length, dist);
        if (p < best) {
            best = p;
            *kind = k;
        }
    };
    if (length == history.lastLength && dist == history.lastDistance)
        consider(kRepeatLast);
    if (length >= MinRecentLength(dist) && length <= MaxRecentLength(dist)) {
        for (int k = 0; k < 4; ++k)
            if (history.recent[k] == dist)
                consider(Kind(kRecent0 + k));
    }
    if (length == 2 && dist <= 256)
        consider(kShort);
    if (length >= MinMatchLength(dist) && length <= MaxMatchLength(dist))
        consider(kMatch);
    return best;
}

void Parser::Emit(Kind kind, uint32_t length, uint32_t dist, uint8_t literal, std::vector<Symbol>* out)
{
    Symbol s{};
    switch (kind) {
    case kLiteral:
        s.main = literal;
        break;
    case kRepeatLast:
        s.main = kSymbolRepeatLast;
        break;
    case kRecent0:
    case kRecent1:
    case kRecent2:
    case kRecent3: {
        uint32_t v = length - 2 - RecentLengthBonus(dist);
        int c = LengthCode(v);
        s.main = uint16_t(kSymbolRecent + (kind - kRecent0));
        s.aux = uint8_t(c);
        s.extra1Bits = kLengthExtraBits[c];
        s.extra1 = uint16_t(v - kLengthBase[c]);
        break;
    }
    case kShort: {
        uint32_t v = dist - 1;
        int c = ShortCode(v);
        s.main = uint16_t(kSymbolShort + c);
        s.extra1Bits = kShortDistanceExtraBits[c];
        s.extra1 = uint16_t(v - kShortDistanceBase[c]);
        break;
    }
    case kMatch: {
        uint32_t v = length - 3 - MatchLengthBonus(dist);
        int c = LengthCode(v);
        s.main = uint16_t(kSymbolMatch + c);
        s.extra1Bits = kLengthExtraBits[c];
        s.extra1 = uint16_t(v - kLengthBase[c]);
        int dc = DistanceCode(dist - 1);
        s.aux = uint8_t(dc);
        s.extra2Bits = uint8_t(kDistanceExtraBits[dc]);
        s.extra2 = uint16_t(dist - 1 - kDistanceBase[dc]);
        break;
    }
    }
    if (kind != kLiteral)
        history_.Push(length, dist);
    out->push_back(s);
}

void Parser::InsertUpTo(uint32_t pos)
{
    while (inserted_ < pos)
        finder_.Insert(inserted_++);
}

uint32_t Parser::Parse(uint32_t begin, uint32_t end, uint32_t limit, std::vector<Symbol>* out)
{
    if (settings_.mode == ParseMode::kOptimal) {
        ParseOptimal(begin, end, out);
        return end;
    }
    size_t first = out->size();
    uint32_t reached = ParseGreedy(begin, end, limit, settings_.mode == ParseMode::kLazy, out);
    CountAndPrice(*out, first, true);
    return reached;
}

// The best step at `pos` by estimated bits saved against literals
// (16ths of a bit); 0 and length 0 when a literal is best.
int32_t Parser::BestStep(uint32_t pos, uint32_t limit, Step* step, uint32_t beat, int depth)
{
    step->length = 0;
    int32_t bestGain = 0;
    uint32_t maxLength = std::min(kMaxLength, limit - pos);
    if (maxLength < 2)
        return 0;
    InsertUpTo(pos);
    auto consider = [&](uint32_t length, uint32_t dist) {
        Kind kind;
        uint32_t price = BestCoding(length, dist, history_, &kind);
        if (price == kUnreachable)
            return;
        uint32_t at = pos - literalBase_;
        int32_t gain = int32_t(literalPrefix_[at + length] - literalPrefix_[at]) * 16 - int32_t(price * 16);
        if (gain > bestGain) {
            bestGain = gain;
            *step = {length, dist, kind};
        }
    };
    for (int k = 0; k < 4; ++k) {
        uint32_t d = history_.recent[k];
        if (d == 0 || d > pos)
            continue;
        uint32_t length = finder_.MatchLength(pos, d, std::min(maxLength, MaxRecentLength(d)));
        if (length >= MinRecentLength(d))
            consider(length, d);
    }
    // A shorter match nearer by may save more than the longest.
    Match shorter[MatchFinder::kShorterMatches];
    int shorterCount = 0;
    Match m = finder_.FindLongest(pos, maxLength, beat, depth, shorter, &shorterCount);
    for (int k = 0; k < shorterCount; ++k)
        consider(shorter[k].length, shorter[k].distance);
    if (m.length)
        consider(m.length, m.distance);
    return bestGain;
}

uint32_t Parser::ParseGreedy(uint32_t begin, uint32_t end, uint32_t limit, bool lazy, std::vector<Symbol>* out)
{
    // What the literals a match would replace cost, as prefix sums.
    uint32_t stop = std::min(limit, end + kMaxLength + 2);
    literalPrefix_.resize(stop - begin + 1);
    literalBase_ = begin;
    uint8_t price[256];
    for (int i = 0; i < 256; ++i)
        price[i] = uint8_t(mainPrice_[i]);
    uint32_t* sums = literalPrefix_.data();
    uint32_t sum = 0;
    sums[0] = 0;
    for (uint32_t i = begin; i < stop; ++i) {
        sum += price[data_[i]];
        *++sums = sum;
    }
    uint32_t pos = begin;
    Step cur;
    int32_t gain = BestStep(pos, limit, &cur);
    while (pos < end) {
        if (cur.length == 0) {
            Emit(kLiteral, 1, 0, data_[pos], out);
            ++pos;
            if (pos < end)
                gain = BestStep(pos, limit, &cur);
            continue;
        }
        if (lazy && cur.length < settings_.lazyLength) {
            // Only a longer match can win; a good one already needs less
            // search, and so does every look beyond the next position.
            Step next;
            uint32_t skip = 0;
            for (uint32_t ahead = 1;
                 ahead <= settings_.lookAhead && pos + ahead < limit && (ahead == 1 || pos + ahead < end); ++ahead) {
                int depth = ahead == 1 && cur.length < 8 ? 0 : settings_.searchDepth / 4;
                int32_t nextGain = BestStep(pos + ahead, limit, &next, cur.length, depth);
                if (nextGain > gain) {
                    skip = ahead;
                    gain = nextGain;
                    break;
                }
            }
            if (skip) {
                for (; skip > 0; --skip, ++pos)
                    Emit(kLiteral, 1, 0, data_[pos], out);
                cur = next;
                continue;
            }
        }
        Emit(cur.kind, cur.length, cur.distance, 0, out);
        pos += cur.length;
        if (pos < end)
            gain = BestStep(pos, limit, &cur);
    }
    return pos;
}

void Parser::ParseOptimal(uint32_t begin, uint32_t end, std::vector<Symbol>* out)
{
    stage_->Next(&found_, &firstSteps_);
    matches_.swap(found_.matches);
    matchStart_.swap(found_.start);
    nearPair_.swap(found_.nearPair);

    if (firstPass_) {
        CountAndPrice(firstSteps_, 0, false);
        firstPass_->TakePrices(*this);
        stage_->Release();
    }
    scratch_.clear();
    RunPass(begin, end, &scratch_);
    CountAndPrice(scratch_, 0, true);
    out->insert(out->end(), scratch_.begin(), scratch_.end());
}

void Parser::FirstPass(StretchMatches* found, std::vector<Symbol>* steps)
{
    matches_.swap(found->matches);
    matchStart_.swap(found->start);
    nearPair_.swap(found->nearPair);
    steps->clear();
    // As many arrivals as the second pass: with fewer, priced a stretch
    // late, the statistics lead the second pass astray more often.
    RunPass(found->begin, found->end, steps);
    matches_.swap(found->matches);
    matchStart_.swap(found->start);
    nearPair_.swap(found->nearPair);
}

void Parser::RunPass(uint32_t begin, uint32_t end, std::vector<Symbol>* out)
{
    if (settings_.arrivals == 2)
        RunOptimal<2>(begin, end, out);
    else
        RunOptimal<1>(begin, end, out);
}

void Parser::TakePrices(const Parser& from)
{
    std::copy(from.mainPrice_, from.mainPrice_ + kMainSymbols, mainPrice_);
    std::copy(from.distancePrice_, from.distancePrice_ + kDistanceSymbols, distancePrice_);
    std::copy(from.recentLengthPrice_, from.recentLengthPrice_ + kRepeatLengthSymbols, recentLengthPrice_);
    std::copy(from.matchLengthPrice_, from.matchLengthPrice_ + 256, matchLengthPrice_);
    std::copy(from.recentLengthAll_, from.recentLengthAll_ + 256, recentLengthAll_);
}

template <uint32_t arrivals>
uint32_t Parser::RunOptimal(uint32_t begin, uint32_t end, std::vector<Symbol>* out)
{
    uint32_t seg = begin;
    while (seg < end) {
        uint32_t idx = seg - begin;
        uint32_t count = matchStart_[idx + 1] - matchStart_[idx];
        if (count) {
            const Match& longest = matches_[matchStart_[idx + 1] - 1];
            if (longest.length >= settings_.niceLength) {
                uint32_t length = longest.length, dist = longest.distance;
                Kind kind;
                uint32_t best = BestCoding(length, dist, history_, &kind);
                // Another distance that matches as far may code cheaper:
                // within a long repeat, the last match's distance.
                auto tryDistance = [&](uint32_t d) {
                    if (d == 0 || d > seg || d == dist || finder_.MatchLength(seg, d, length) < length)
                        return;
                    Kind k;
                    uint32_t price = BestCoding(length, d, history_, &k);
                    if (price < best) {
                        best = price;
                        kind = k;
                        dist = d;
                    }
                };
                tryDistance(history_.lastDistance);
                for (int k = 0; k < 4; ++k)
                    tryDistance(history_.recent[k]);
                Emit(kind, length, dist, 0, out);
                seg += length;
                continue;
            }
        }
        // The stretch ends before the next long match, which is then taken whole.
        uint32_t stop = end - seg;
        for (uint32_t i = 1; i < end - seg; ++i) {
            uint32_t k = idx + i;
            if (matchStart_[k + 1] > matchStart_[k] &&
                matches_[matchStart_[k + 1] - 1].length >= settings_.niceLength) {
                stop = i;
                break;
            }
        }
        if (nodes_.size() < arrivals * (stop + 1))
            nodes_.resize(arrivals * (stop + 1));
        for (uint32_t i = 0; i < arrivals * (stop + 1); ++i)
            nodes_[i].cost = kUnreachable;
        nodes_[0].cost = 0;
        nodes_[0].history = history_;
        nodes_[0].key = history_.recent[0] | history_.recent[1] << 20;

        // An arrival is kept beside the cheapest when it leaves another pair
        // of most recent distances: what is locally dearer may make the next
        // recent-distance match possible.
        auto offer = [&](uint32_t j, uint32_t cost, uint32_t key) -> Node* {
            Node* best = &nodes_[arrivals * j];
            Node* last = best + (arrivals - 1);
            if (cost >= last->cost)
                return nullptr; // every arrival kept is cheaper
            if (last == best || key == best->key) {
                if (cost >= best->cost)
                    return nullptr;
            } else if (cost < best->cost) {
                *last = *best; // unreachable or of another key
            } else {
                best = last;
            }
            best->cost = cost;
            best->key = key;
            return best;
        };

        for (uint32_t i = 0; i < stop; ++i) {
            for (uint32_t slot = 0; slot < arrivals; ++slot) {
                // Every arrival at node i is known by now: its history follows
                // from the arrival it continues (relaxing copies no histories).
                Node& node = nodes_[arrivals * i + slot];
                if (node.cost == kUnreachable)
                    continue;
                if (slot > 0 && node.cost > nodes_[arrivals * i].cost + kArrivalMargin)
                    continue;
                if (i > 0) {
                    node.history = nodes_[arrivals * (i - node.length) + node.from].history;
                    if (node.lead) {
                        uint32_t resumeDist = node.back ? node.history.recent[0] : node.distance;
                        node.history.Push(node.lead, node.distance);
                        node.history.Push(node.length - node.lead - node.gap, resumeDist);
                    } else if (node.kind != kLiteral) {
                        node.history.Push(node.length, node.distance);
                    }
                }
                const uint32_t base = node.cost;
                const MatchHistory h = node.history;
                const uint32_t pos = seg + i;
                auto relax = [&](uint32_t length, uint32_t dist, Kind kind, uint32_t cost) {
                    Node* target =
                        offer(i + length, cost,
                              kind == kLiteral ? (h.recent[0] | h.recent[1] << 20) : (dist | h.recent[0] << 20));
                    if (!target)
                        return;
                    target->length = length;
                    target->distance = dist;
                    target->kind = kind;
                    target->lead = 0;
                    target->back = 0;
                    target->from = uint8_t(slot);
                };
                // A match often resumes at its distance (a recent-distance match
                // also at the one it pushed back) after a differing byte or two;
                // the node after those may hold another history, so match,
                // literals and recent match are weighed as one step. Most
                // matches do not resume: two bytes tell, before any pricing.
                auto resumes = [&](uint32_t length, uint32_t dist) -> uint32_t {
                    uint32_t at = i + length + 1;
                    if (at + 4 > stop)
                        return 0;
                    uint32_t x, y;
                    memcpy(&x, data_ + seg + at, 4);
                    memcpy(&y, data_ + seg + at - dist, 4);
                    uint32_t diff = x ^ y; // byte k of the data in bits 8k..8k+7
                    return !(diff & 0xFFFF) ? 1 : !(diff & 0xFFFF00) ? 2 : 0;
                };
                auto relaxResume = [&](uint32_t length, uint32_t gap, uint32_t dist, Kind kind, uint32_t cost,
                                       uint32_t back = 0) {
                    uint32_t at = i + length + gap;
                    uint32_t rd = back ? h.recent[0] : dist;
                    uint32_t cap = std::min(std::min(kMaxLength, stop - at), MaxRecentLength(rd));
                    uint32_t rest = finder_.MatchLength(seg + at, rd, cap);
                    if (rest < MinRecentLength(rd))
                        return;
                    for (uint32_t g = 0; g < gap; ++g)
                        cost += mainPrice_[data_[pos + length + g]];
                    cost += mainPrice_[kSymbolRecent + back] + recentLengthAll_[rest - 2 - RecentLengthBonus(rd)];
                    Node* target = offer(at + rest, cost, rd | dist << 20);
                    if (!target)
                        return;
                    target->length = length + gap + rest;
                    target->distance = dist;
                    target->kind = kind;
                    target->lead = uint16_t(length);
                    target->gap = uint8_t(gap);
                    target->back = uint8_t(back);
                    target->from = uint8_t(slot);
                };
                relax(1, 0, kLiteral, base + mainPrice_[data_[pos]]);
                uint32_t maxLength = std::min(kMaxLength, stop - i);
                if (maxLength < 2)
                    continue;

                if (h.lastLength >= 2 && h.lastLength <= maxLength && h.lastDistance <= pos &&
                    finder_.MatchLength(pos, h.lastDistance, h.lastLength) == h.lastLength)
                    relax(h.lastLength, h.lastDistance, kRepeatLast, base + mainPrice_[kSymbolRepeatLast]);

                for (int k = 0; k < 4; ++k) {
                    uint32_t d = h.recent[k];
                    if (d == 0 || d > pos)
                        continue;
                    bool seen = false;
                    for (int j = 0; j < k; ++j)
                        seen |= h.recent[j] == d;
                    if (seen)
                        continue;
                    uint32_t length = finder_.MatchLength(pos, d, std::min(maxLength, MaxRecentLength(d)));
                    uint32_t bonus = RecentLengthBonus(d);
                    uint32_t symbolPrice = base + mainPrice_[kSymbolRecent + k];
                    // The second arrival tries only the whole run: shorter
                    // ones seldom pay for its work.
                    for (uint32_t len = slot ? std::max(length, 2 + bonus) : 2 + bonus; len <= length; ++len)
                        relax(len, d, Kind(kRecent0 + k), symbolPrice + recentLengthAll_[len - 2 - bonus]);
                    if (length >= 2 + bonus) {
                        uint32_t price = symbolPrice + recentLengthAll_[length - 2 - bonus];
                        uint32_t gap = resumes(length, d);
                        if (gap)
                            relaxResume(length, gap, d, Kind(kRecent0 + k), price);
                        uint32_t before = h.recent[0];
                        if (k > 0 && before <= pos && (gap = resumes(length, before)))
                            relaxResume(length, gap, d, Kind(kRecent0 + k), price, 1);
                    }
                }

                // Short matches and matches price alike from any history and
                // leave the same recent distance: the cheapest arrival's win.
                if (slot > 0)
                    continue;
                uint32_t near = nearPair_[idx + i];
                if (near)
                    relax(2, near, kShort, base + PriceOf(kShort, 2, near));

                uint32_t covered = 2;
                for (uint32_t m = matchStart_[idx + i]; m < matchStart_[idx + i + 1]; ++m) {
                    uint32_t d = matches_[m].distance;
                    uint32_t top = std::min(matches_[m].length, maxLength);
                    uint32_t bonus = MatchLengthBonus(d);
                    uint32_t distPrice = base + distancePrice_[DistanceCode(d - 1)];
                    for (uint32_t len = std::max(covered + 1, 3 + bonus); len <= top; ++len)
                        relax(len, d, kMatch, distPrice + matchLengthPrice_[len - 3 - bonus]);
                    if (top >= std::max(covered + 1, 3 + bonus)) {
                        if (uint32_t gap = resumes(top, d))
                            relaxResume(top, gap, d, kMatch, distPrice + matchLengthPrice_[top - 3 - bonus]);
                    }
                    covered = std::max(covered, top);
                }
            }
        }

        path_.clear();
        pathSlot_.clear();
        for (uint32_t j = stop, slot = 0; j > 0;) {
            const Node& node = nodes_[arrivals * j + slot];
            path_.push_back(j);
            pathSlot_.push_back(uint8_t(slot));
            j -= node.length;
            slot = node.from;
        }
        for (size_t p = path_.size(); p-- > 0;) {
            const Node& node = nodes_[arrivals * path_[p] + pathSlot_[p]];
            uint32_t at = seg + path_[p] - node.length;
            if (node.lead) {
                Emit(node.kind, node.lead, node.distance, 0, out);
                for (uint32_t g = 0; g < node.gap; ++g)
                    Emit(kLiteral, 1, 0, data_[at + node.lead + g], out);
                if (node.back)
                    Emit(kRecent1, node.length - node.lead - node.gap, history_.recent[1], 0, out);
                else
                    Emit(kRecent0, node.length - node.lead - node.gap, node.distance, 0, out);
                continue;
            }
            Emit(node.kind, node.length, node.distance, data_[at], out);
        }
        seg += stop;
    }
    return end;
}
