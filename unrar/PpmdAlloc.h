// The memory of the PPMd model: one arena the stream sizes, holding the
// text of recent symbols at its bottom and the model's contexts and symbol
// tables in 12-byte units above. Blocks of units come in 38 size classes
// with a free list each; when a class runs dry, larger free blocks are
// split, and now and then adjacent free blocks are glued together. Every
// allocation is done exactly as the encoder did it: the model starts over
// when memory runs out, so the decoder must run out at the same symbol.
//
// References inside the arena are 32-bit offsets from its start; 0 is null.
#pragma once

#include <cstddef>
#include <cstdint>

namespace unrar::ppmd {

constexpr unsigned kUnitSize = 12;
constexpr unsigned kNumIndexes = 38;

// Units per size class and size class per number of units.
struct UnitTables {
  uint8_t indx2Units[kNumIndexes];
  uint8_t units2Indx[128];
  constexpr UnitTables() : indx2Units(), units2Indx() {
    // Classes of 1-4 units, then steps of 2, 3 and finally 4 up to 128.
    unsigned k = 0;
    for (unsigned i = 0; i < kNumIndexes; i++) {
      unsigned step = i >= 12 ? 4 : i / 4 + 1;
      while (step--) units2Indx[k++] = uint8_t(i);
      indx2Units[i] = uint8_t(k);
    }
  }
};
constexpr UnitTables kUnitTables{};

class SubAllocator {
 public:
  SubAllocator() = default;
  ~SubAllocator();
  SubAllocator(const SubAllocator&) = delete;
  SubAllocator& operator=(const SubAllocator&) = delete;

  // Gives the arena `size` bytes, keeping the present one when it has that
  // size already. False when the memory cannot be had.
  bool reserve(uint32_t size);
  // Empties the arena: text from the bottom, units in the top seven eighths.
  void restart();

  uint8_t* at(uint32_t ref) const { return base_ + ref; }
  uint32_t ref(const void* p) const { return uint32_t(static_cast<const uint8_t*>(p) - base_); }

  // One unit for a context, or null when memory is full.
  void* allocContext() {
    if (hiUnit_ != loUnit_) return hiUnit_ -= kUnitSize;
    if (freeList_[0]) return removeNode(0);
    return allocRare(0);
  }
  // A block of size class `indx`, or null when memory is full.
  void* allocUnits(unsigned indx) {
    if (freeList_[indx]) return removeNode(indx);
    uint32_t bytes = kUnitSize * indexUnits(indx);
    if (bytes <= uint32_t(hiUnit_ - loUnit_)) {
      void* block = loUnit_;
      loUnit_ += bytes;
      return block;
    }
    return allocRare(indx);
  }
  // The block of `nu` units grown by one unit (moved when its size class
  // changes), or null when memory is full.
  void* expandUnits(void* block, unsigned nu);
  // The block of `oldNU` units cut down to `newNU` (moved to a fitting free
  // block when there is one).
  void* shrinkUnits(void* block, unsigned oldNU, unsigned newNU);
  void freeUnits(void* block, unsigned nu) { insertNode(block, unitsIndex(nu)); }

  // Number of units of size class `indx` and the class of `nu` units.
  static unsigned indexUnits(unsigned indx) { return kUnitTables.indx2Units[indx]; }
  static unsigned unitsIndex(unsigned nu) { return kUnitTables.units2Indx[(nu - 1) & 127]; }  // 1 <= nu <= 128

  // The next free byte of the text area and where the units begin: the
  // text is full when they meet.
  uint8_t* text = nullptr;
  uint8_t* unitsStart() const { return unitsStart_; }

 private:
  struct [[gnu::may_alias]] Node {
    uint16_t stamp;  // 0 in a free block while gluing; units in use never have 0 here
    uint16_t nu;
    uint32_t next;
    uint32_t prev;  // while gluing
  };
  Node* node(uint32_t ref) const { return reinterpret_cast<Node*>(base_ + ref); }

  void insertNode(void* block, unsigned indx) {
    auto* n = static_cast<Node*>(block);
    n->next = freeList_[indx];
    freeList_[indx] = ref(block);
  }
  void* removeNode(unsigned indx) {
    Node* n = node(freeList_[indx]);
    freeList_[indx] = n->next;
    return n;
  }
  void splitBlock(uint8_t* block, unsigned oldIndx, unsigned newIndx);
  void glueFreeBlocks();
  void* allocRare(unsigned indx);
  void release();

  uint8_t* map_ = nullptr;  // the mapping: a guard page, the arena, a guard page
  size_t mapped_ = 0;
  uint8_t* base_ = nullptr;
  uint32_t size_ = 0;
  uint8_t* unitsStart_ = nullptr;
  uint8_t* loUnit_ = nullptr;
  uint8_t* hiUnit_ = nullptr;
  unsigned glueCount_ = 0;
  uint32_t freeList_[kNumIndexes] = {};
};

}  // namespace unrar::ppmd
