// The Huffman code builder of the LH5 encoder.
#pragma once

#include <cstdint>

#include "compress/lh5.h"

namespace vellumark::lh5 {

// Builds a code of at most 16 bits over `n` symbols (n <= 510) with the frequencies `freq`,
// writing `len` and the canonical `code` of every symbol. Returns the root: a symbol (< n)
// when fewer than two symbols occur, whose length and code are then 0 (symbol 0 when none
// occurs); otherwise an inner node (>= n). Ties follow the heap order, so the result is
// deterministic.
int MakeHuffmanCode(int n, const uint32_t* freq, uint8_t* len, uint16_t* code);

}  // namespace vellumark::lh5
