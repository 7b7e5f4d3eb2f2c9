// Huffman code construction for the LH5 encoder: a heap-built tree, depths capped at 16 by
// pulling deep leaves up, and canonical code values.
#include "compress/lh5_huffman.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vellumark::lh5 {

int MakeHuffmanCode(int n, const uint32_t* freq_in, uint8_t* len, uint16_t* code) {
  std::array<uint32_t, 2 * kNC> freq;
  std::array<int16_t, 2 * kNC> left, right;
  std::array<int, kNC + 1> heap;  // 1-based
  std::array<int, kNC> order;     // symbols as they leave the heap, least frequent first
  int heap_size = 0, order_size = 0;
  for (int i = 0; i < n; ++i) {
    freq[i] = freq_in[i];
    len[i] = 0;
    if (freq[i] != 0) heap[++heap_size] = i;
  }
  if (heap_size < 2) {
    const int s = heap_size == 1 ? heap[1] : 0;
    code[s] = 0;
    return s;
  }
  auto sift_down = [&](int i) {
    const int k = heap[i];
    int j;
    while ((j = 2 * i) <= heap_size) {
      if (j < heap_size && freq[heap[j + 1]] < freq[heap[j]]) ++j;
      if (freq[k] <= freq[heap[j]]) break;
      heap[i] = heap[j];
      i = j;
    }
    heap[i] = k;
  };
  for (int i = heap_size / 2; i >= 1; --i) sift_down(i);
  int avail = n, root = 0;
  do {
    const int i = heap[1];
    if (i < n) order[order_size++] = i;
    heap[1] = heap[heap_size--];
    sift_down(1);
    const int j = heap[1];
    if (j < n) order[order_size++] = j;
    root = avail++;
    freq[root] = freq[i] + freq[j];
    heap[1] = root;
    sift_down(1);
    left[root] = static_cast<int16_t>(i);
    right[root] = static_cast<int16_t>(j);
  } while (heap_size > 1);

  // Leaves by depth, the deeper than 16 counted as 16, then pulled up until the code fits.
  std::array<int, kMaxCodeLength + 2> count{};
  std::array<std::pair<int, int>, 2 * kNC> stack;
  int top = 0;
  stack[top++] = {root, 0};
  while (top > 0) {
    const auto [node, depth] = stack[--top];
    if (node < n) {
      ++count[std::min(depth, kMaxCodeLength)];
    } else {
      stack[top++] = {left[node], depth + 1};
      stack[top++] = {right[node], depth + 1};
    }
  }
  auto kraft = [&] {
    uint32_t total = 0;
    for (int d = 1; d <= kMaxCodeLength; ++d) total += static_cast<uint32_t>(count[d]) << (16 - d);
    return total;
  };
  while (kraft() != (1u << 16)) {
    --count[kMaxCodeLength];
    for (int d = kMaxCodeLength - 1; d > 0; --d) {
      if (count[d] != 0) {
        --count[d];
        count[d + 1] += 2;
        break;
      }
    }
  }
  int next = 0;
  for (int d = kMaxCodeLength; d >= 1; --d) {
    for (int c = count[d]; c > 0; --c) len[order[next++]] = static_cast<uint8_t>(d);
  }
  std::array<uint32_t, kMaxCodeLength + 2> start{};
  for (int d = 1; d <= kMaxCodeLength; ++d) start[d + 1] = (start[d] + count[d]) << 1;
  for (int i = 0; i < n; ++i) {
    if (len[i] != 0) code[i] = static_cast<uint16_t>(start[len[i]]++);
  }
  return root;
}

}  // namespace vellumark::lh5
