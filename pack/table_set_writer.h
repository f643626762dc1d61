// A table set: the 374 code lengths of the main, distance and repeat-length
// tables, coded with the 19-symbol code-length code, either absolute or as
// changes to the previous set (the keep flag), whichever is smaller.
#ifndef OV_PACK_TABLE_SET_WRITER_H
#define OV_PACK_TABLE_SET_WRITER_H

#include <cstdint>

#include "pack/bit_writer.h"

// Returns the bits the set costs. When `out` is given, writes the set and
// makes `previous` (374 lengths, all 0 before the first set) equal `lengths`.
uint32_t WriteTableSet(const uint8_t* lengths, uint8_t* previous, BitWriter* out);

// About the bits WriteTableSet would take, at a third of its work: the ops
// of one round, with flat prices, of each coding.
uint32_t TableSetBits(const uint8_t* lengths, const uint8_t* previous);

#endif
