#include "tools/Rar5Huffman.h"

#include <algorithm>
#include <queue>

namespace rarwriter::rar5 {
namespace {

// Unlimited Huffman code lengths (depths of the leaves in the tree built from
// the two lightest nodes at a time).
std::vector<uint8_t> TreeDepths(const std::vector<uint64_t>& freq) {
  struct Node {
    uint64_t weight;
    int index;  // < count: a leaf; otherwise an inner node
  };
  auto heavier = [](const Node& a, const Node& b) {
    return a.weight != b.weight ? a.weight > b.weight : a.index > b.index;
  };
  const int count = static_cast<int>(freq.size());
  std::priority_queue<Node, std::vector<Node>, decltype(heavier)> heap(heavier);
  std::vector<int> parent;
  for (int i = 0; i < count; ++i)
    if (freq[i]) heap.push({freq[i], i});
  parent.assign(count, -1);
  int next = count;
  while (heap.size() > 1) {
    Node a = heap.top();
    heap.pop();
    Node b = heap.top();
    heap.pop();
    parent.push_back(-1);
    parent[a.index] = next;
    parent[b.index] = next;
    heap.push({a.weight + b.weight, next++});
  }
  std::vector<uint8_t> depth(count, 0);
  for (int i = 0; i < count; ++i) {
    if (!freq[i]) continue;
    unsigned d = 0;
    for (int n = i; parent[n] >= 0; n = parent[n]) ++d;
    depth[i] = static_cast<uint8_t>(std::min(d, 255u));
  }
  return depth;
}

}  // namespace

std::vector<uint8_t> CodeLengths(const uint32_t* freq, size_t count, unsigned maxLength) {
  std::vector<uint64_t> weights(freq, freq + count);
  size_t used = 0;
  for (uint64_t w : weights) used += w != 0;
  if (used == 0) return std::vector<uint8_t>(count, 0);
  if (used == 1) {
    std::vector<uint8_t> lengths(count, 0);
    for (size_t i = 0; i < count; ++i)
      if (weights[i]) lengths[i] = 1;
    return lengths;
  }
  // Flatten the frequencies until the tree is shallow enough; each round
  // halves the spread between rare and common symbols.
  for (;;) {
    std::vector<uint8_t> lengths = TreeDepths(weights);
    if (*std::max_element(lengths.begin(), lengths.end()) <= maxLength) return lengths;
    for (uint64_t& w : weights)
      if (w) w = (w >> 1) | 1;
  }
}

std::vector<uint16_t> CanonicalCodes(const uint8_t* lengths, size_t count) {
  unsigned perLength[kMaxCodeLength + 1] = {};
  for (size_t i = 0; i < count; ++i) perLength[lengths[i]]++;
  perLength[0] = 0;
  uint16_t next[kMaxCodeLength + 2] = {};
  uint32_t code = 0;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    code = (code + perLength[len - 1]) << 1;
    next[len] = static_cast<uint16_t>(code);
  }
  std::vector<uint16_t> codes(count, 0);
  for (size_t i = 0; i < count; ++i)
    if (lengths[i]) codes[i] = next[lengths[i]]++;
  return codes;
}

}  // namespace rarwriter::rar5
