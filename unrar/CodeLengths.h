// Pieces RAR 2.9-4 and RAR 5 compressed data have in common: how a block
// sends the code lengths of its Huffman tables, and the x86 CALL/JMP filter.
#pragma once

#include <cstdint>

#include "unrar/BitInput.h"
#include "unrar/Huffman.h"

namespace unrar {

// Reads the code lengths of `total` symbols: first the 20 lengths of the
// code they are sent in (4 bits each; 15 followed by a count stands for a
// run of zeros), then the lengths in that code, where 16 and 17 repeat the
// previous length and 18 and 19 give runs of zeros. With `previous`, a sent
// length is a change (mod 16) of the previous block's length of the same
// symbol. `lengthCodes` is where the 20-symbol code is built (a caller's
// table, so that its memory is reused from block to block). False when the
// data cannot be a table.
bool ReadCodeLengths(BitInput& in, HuffmanTable& lengthCodes, uint8_t* lengths, unsigned total,
                     const uint8_t* previous = nullptr);

// x86 CALL (E8) and, with `withE9`, JMP (E9) targets were made absolute
// within a 16 MiB file space; they are made relative again. `data` starts at
// `fileOffset` in the entry. RAR 5 takes each position modulo the file space
// (`wrapPositions`); RAR 2.9-4 does not.
void UndoX86Filter(uint8_t* data, uint32_t size, uint32_t fileOffset, bool withE9, bool wrapPositions);

}  // namespace unrar
