#include "unrar/PpmdAlloc.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace unrar::ppmd {

namespace {
// The text starts this far into the arena, so offset 0 stays free to mean
// "no reference".
constexpr uint32_t kTextStart = 4;
}  // namespace

SubAllocator::~SubAllocator() { release(); }

// The arena is mapped directly, between two inaccessible guard pages: its
// pages cost nothing until the model reaches them, and a stray access that
// runs off either end (beyond the rounding to whole pages) faults rather
// than touching other memory.
bool SubAllocator::reserve(uint32_t size) {
  if (base_ && size_ == size) return true;
  release();
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  // One spare unit past the end: the head of the list of free blocks while
  // they are glued together.
  const size_t used = (size_t(kTextStart) + size + kUnitSize + page - 1) / page * page;
  void* map = mmap(nullptr, used + 2 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return false;
  auto* start = static_cast<uint8_t*>(map);
  if (mprotect(start + page, used, PROT_READ | PROT_WRITE) != 0) {
    munmap(map, used + 2 * page);
    return false;
  }
  map_ = start;
  mapped_ = used + 2 * page;
  base_ = start + page;
  size_ = size;
  return true;
}

void SubAllocator::release() {
  if (map_) munmap(map_, mapped_);
  map_ = base_ = nullptr;
  size_ = 0;
  mapped_ = 0;
}

void SubAllocator::restart() {
  memset(freeList_, 0, sizeof freeList_);
  text = base_ + kTextStart;
  hiUnit_ = text + size_;
  loUnit_ = unitsStart_ = hiUnit_ - size_ / 8 / kUnitSize * 7 * kUnitSize;
  glueCount_ = 0;
}

void SubAllocator::splitBlock(uint8_t* block, unsigned oldIndx, unsigned newIndx) {
  unsigned nu = indexUnits(oldIndx) - indexUnits(newIndx);
  uint8_t* rest = block + kUnitSize * indexUnits(newIndx);
  unsigned i = unitsIndex(nu);
  if (indexUnits(i) != nu) {
    unsigned k = indexUnits(--i);
    insertNode(rest + kUnitSize * k, nu - k - 1);
  }
  insertNode(rest, i);
}

void* SubAllocator::expandUnits(void* block, unsigned nu) {
  unsigned i = unitsIndex(nu);
  if (i == unitsIndex(nu + 1)) return block;
  void* grown = allocUnits(i + 1);
  if (!grown) return nullptr;
  memcpy(grown, block, size_t(nu) * kUnitSize);
  insertNode(block, i);
  return grown;
}

void* SubAllocator::shrinkUnits(void* block, unsigned oldNU, unsigned newNU) {
  unsigned i0 = unitsIndex(oldNU), i1 = unitsIndex(newNU);
  if (i0 == i1) return block;
  if (freeList_[i1]) {
    void* moved = removeNode(i1);
    memcpy(moved, block, size_t(newNU) * kUnitSize);
    insertNode(block, i0);
    return moved;
  }
  splitBlock(static_cast<uint8_t*>(block), i0, i1);
  return block;
}

// Merges free blocks that lie next to each other and files the results in
// the free lists again. The blocks are gathered into one doubly linked
// list (newest first), each merged block leaving the list as it is taken
// in. A free block always ends before the guard at loUnit_ or before a
// unit in use (the root context holds the arena's last unit), whose first
// 16 bits are never zero.
void SubAllocator::glueFreeBlocks() {
  glueCount_ = 255;
  const uint32_t headRef = kTextStart + size_;
  Node* head = node(headRef);
  head->stamp = 1;
  head->next = head->prev = headRef;
  auto unlink = [this](Node* n) {
    node(n->prev)->next = n->next;
    node(n->next)->prev = n->prev;
  };
  for (unsigned i = 0; i < kNumIndexes; i++) {
    uint32_t r = freeList_[i];
    freeList_[i] = 0;
    while (r) {
      Node* n = node(r);
      uint32_t next = n->next;
      n->stamp = 0;
      n->nu = uint16_t(indexUnits(i));
      n->next = head->next;
      n->prev = headRef;
      node(head->next)->prev = r;
      head->next = r;
      r = next;
    }
  }
  if (loUnit_ != hiUnit_) reinterpret_cast<Node*>(loUnit_)->stamp = 1;

  for (uint32_t r = head->next; r != headRef; r = node(r)->next) {
    Node* n = node(r);
    for (;;) {
      Node* after = node(r + kUnitSize * n->nu);
      if (after->stamp != 0 || unsigned(n->nu) + after->nu >= 0x10000) break;
      unlink(after);
      n->nu = uint16_t(n->nu + after->nu);
    }
  }

  while (head->next != headRef) {
    Node* n = node(head->next);
    unlink(n);
    unsigned nu = n->nu;
    auto* p = reinterpret_cast<uint8_t*>(n);
    for (; nu > 128; nu -= 128, p += 128 * kUnitSize) insertNode(p, kNumIndexes - 1);
    unsigned i = unitsIndex(nu);
    if (indexUnits(i) != nu) {
      unsigned k = indexUnits(--i);
      insertNode(p + kUnitSize * k, nu - k - 1);
    }
    insertNode(p, i);
  }
}

void* SubAllocator::allocRare(unsigned indx) {
  if (glueCount_ == 0) {
    glueFreeBlocks();
    if (freeList_[indx]) return removeNode(indx);
  }
  unsigned i = indx;
  do {
    if (++i == kNumIndexes) {
      // No larger block is free: take the units from the top of the text.
      uint32_t bytes = kUnitSize * indexUnits(indx);
      glueCount_--;
      if (uint32_t(unitsStart_ - text) <= bytes) return nullptr;
      unitsStart_ -= bytes;
      return unitsStart_;
    }
  } while (!freeList_[i]);
  void* block = removeNode(i);
  splitBlock(static_cast<uint8_t*>(block), i, indx);
  return block;
}

}  // namespace unrar::ppmd
