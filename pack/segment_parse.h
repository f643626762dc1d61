// Greedy and lazy parsing on several threads: the solid stream is cut into
// segments of fixed size, each parsed on its own by a parser that has the
// window before the segment in its hash rows but no recent distances and
// no prices of its own yet. So a segment's steps do not depend on which
// thread parses it, nor on how many there are. (A fresh parser's recent
// distances are 0, which it never codes against: its steps decode right
// whatever the reader's history at the segment's start.) A segment (2 MiB)
// costs a window of insertions and a few chunks at untrained prices, and no
// match crosses its end: levels 1 to 3 lose well under 0.1% to them.
#ifndef OV_PACK_SEGMENT_PARSE_H
#define OV_PACK_SEGMENT_PARSE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "pack/parser.h"
#include "pack/symbol_codes.h"

// Steps of one Parse call, and the stream position after them.
using TakePiece = std::function<void(const std::vector<Symbol>& steps, uint32_t reached)>;

// Parses `data` (the entries back to back, `entryEnds` their ends in
// order) in chunks of `chunk` bytes of each entry, as one Parser would but
// segment by segment, on `threads` threads besides the calling one. Hands
// every chunk's steps to `take` in stream order on the calling thread, with
// an entry's first step marked.
void ParseInSegments(const uint8_t* data, uint32_t size, const ParserSettings& settings,
                     const std::vector<uint32_t>& entryEnds, uint32_t chunk, int threads, const TakePiece& take);

#endif
