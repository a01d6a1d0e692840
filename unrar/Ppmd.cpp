// PPMd variant H: each byte is predicted from the longest context (up to
// the model's order) seen before, escaping to shorter contexts for bytes
// the context has not seen; frequencies adapt as bytes are decoded, and
// secondary estimation (SEE) tunes the escape probabilities. Contexts with
// a single symbol are decoded as binary decisions.
//
// The model is built only from the bytes it decodes, so every reference it
// follows was made by the allocator inside the arena, whatever the input:
// damaged data can steer it to wrong bytes, but a count outside the current
// context's total stops it with an error before any symbol is taken.
#include "unrar/Ppmd.h"

#include <cstring>
#include <utility>

#include "unrar/PpmdAlloc.h"
#include "unrar/PpmdRange.h"
#include "unrar/unrar.h"

namespace unrar {

namespace {

using ppmd::SubAllocator;

constexpr unsigned kMaxOrder = 64;
constexpr unsigned kMaxFreq = 124;
constexpr unsigned kIntBits = 7;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kBinScale = 1u << (kIntBits + kPeriodBits);

// Escape estimates for a context that grows its second symbol, by the
// binary probability it escaped with.
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
// Initial escape probabilities of binary contexts.
constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};

// A symbol of a context with its frequency and the context that follows it
// (or, while that does not exist yet, a reference into the text).
struct [[gnu::may_alias]] State {
  uint8_t symbol;
  uint8_t freq;
  uint16_t successorLow;
  uint16_t successorHigh;

  uint32_t successor() const { return successorLow | uint32_t(successorHigh) << 16; }
  void setSuccessor(uint32_t ref) {
    successorLow = uint16_t(ref);
    successorHigh = uint16_t(ref >> 16);
  }
};

// A context: one unit. With one symbol, its State sits in place of
// summFreq and stats.
struct [[gnu::may_alias]] Context {
  uint16_t numStats;
  uint16_t summFreq;
  uint32_t stats;
  uint32_t suffix;

  State* oneState() { return reinterpret_cast<State*>(&summFreq); }
};
static_assert(sizeof(State) == 6 && sizeof(Context) == ppmd::kUnitSize);

// An adaptive escape estimate (secondary escape estimation).
struct See {
  uint16_t summ;
  uint8_t shift;
  uint8_t count;

  unsigned mean() {
    unsigned r = summ >> shift;
    summ = uint16_t(summ - r);
    return r + (r == 0);
  }
  void update() {
    if (shift < kPeriodBits && --count == 0) {
      summ = uint16_t(summ << 1);
      count = uint8_t(3 << shift++);
    }
  }
};

struct Tables {
  uint8_t ns2Indx[256];    // SEE row by number of symbols
  uint8_t ns2bsIndx[256];  // binary-context column by the suffix's number of symbols
  uint8_t hb2Flag[256];    // 8 for bytes 0x40 and above
  constexpr Tables() : ns2Indx(), ns2bsIndx(), hb2Flag() {
    ns2bsIndx[0] = 0;
    ns2bsIndx[1] = 2;
    for (unsigned i = 2; i < 11; i++) ns2bsIndx[i] = 4;
    for (unsigned i = 11; i < 256; i++) ns2bsIndx[i] = 6;
    unsigned i = 0;
    for (; i < 3; i++) ns2Indx[i] = uint8_t(i);
    for (unsigned m = i, k = 1; i < 256; i++) {
      ns2Indx[i] = uint8_t(m);
      if (--k == 0) k = ++m - 2;
    }
    for (unsigned b = 0x40; b < 256; b++) hb2Flag[b] = 8;
  }
};
constexpr Tables kTables{};

}  // namespace

struct PpmdModel::Impl {
  SubAllocator mem;
  ppmd::RangeDecoder rc;
  Context* minContext = nullptr;
  Context* maxContext = nullptr;
  State* foundState = nullptr;
  unsigned maxOrder = 0;
  unsigned orderFall = 0;
  unsigned initEsc = 0;
  unsigned prevSuccess = 0;
  unsigned hiBitsFlag = 0;
  int runLength = 0;
  int initRL = 0;
  bool ready = false;
  uint16_t binSumm[128][64] = {};
  See see[25][16] = {};
  See dummySee = {};

  Context* context(uint32_t ref) const { return reinterpret_cast<Context*>(mem.at(ref)); }
  State* stats(const Context* c) const { return reinterpret_cast<State*>(mem.at(c->stats)); }
  Context* suffix(const Context* c) const { return context(c->suffix); }

  void start(unsigned order);
  void restartModel();
  Context* createSuccessors(bool skip);
  void updateModel();
  void rescale();
  See* makeEscFreq(unsigned numMasked, uint32_t& escFreq);
  int decodeSymbol(BitInput& in);

  void nextContext() {
    Context* c = context(foundState->successor());
    if (orderFall == 0 && reinterpret_cast<uint8_t*>(c) > mem.text)
      minContext = maxContext = c;
    else
      updateModel();
  }
  // After the first symbol of a context.
  void updateFirst() {
    prevSuccess = 2u * foundState->freq > minContext->summFreq;
    runLength += int(prevSuccess);
    minContext->summFreq = uint16_t(minContext->summFreq + 4);
    if ((foundState->freq += 4) > kMaxFreq) rescale();
    nextContext();
  }
  // After a later symbol of a context: it moves up when it overtakes the
  // one before it.
  void updateLater() {
    State* s = foundState;
    s->freq += 4;
    minContext->summFreq = uint16_t(minContext->summFreq + 4);
    if (s[0].freq > s[-1].freq) {
      std::swap(s[0], s[-1]);
      foundState = --s;
      if (s->freq > kMaxFreq) rescale();
    }
    nextContext();
  }
  // After the symbol of a binary context.
  void updateBinary() {
    foundState->freq = uint8_t(foundState->freq + (foundState->freq < 128));
    prevSuccess = 1;
    runLength++;
    nextContext();
  }
  // After a symbol found past an escape.
  void updateEscaped() {
    minContext->summFreq = uint16_t(minContext->summFreq + 4);
    if ((foundState->freq += 4) > kMaxFreq) rescale();
    runLength = initRL;
    updateModel();
  }
};

void PpmdModel::Impl::start(unsigned order) {
  maxOrder = order;
  restartModel();
  dummySee.shift = kPeriodBits;
  dummySee.summ = 0;
  dummySee.count = 64;
}

// An empty model: the order-0 context with all 256 bytes at frequency 1.
void PpmdModel::Impl::restartModel() {
  mem.restart();
  orderFall = maxOrder;
  runLength = initRL = -int(maxOrder < 12 ? maxOrder : 12) - 1;
  prevSuccess = 0;

  // Both fit in a freshly emptied arena.
  auto* root = static_cast<Context*>(mem.allocContext());
  auto* s = static_cast<State*>(mem.allocUnits(ppmd::kNumIndexes - 1));
  root->suffix = 0;
  root->numStats = 256;
  root->summFreq = 256 + 1;
  root->stats = mem.ref(s);
  for (unsigned i = 0; i < 256; i++) {
    s[i].symbol = uint8_t(i);
    s[i].freq = 1;
    s[i].setSuccessor(0);
  }
  minContext = maxContext = root;
  foundState = s;

  for (unsigned i = 0; i < 128; i++)
    for (unsigned k = 0; k < 8; k++) {
      auto val = uint16_t(kBinScale - kInitBinEsc[k] / (i + 2));
      for (unsigned m = 0; m < 64; m += 8) binSumm[i][k + m] = val;
    }
  for (unsigned i = 0; i < 25; i++)
    for (See& e : see[i]) {
      e.shift = kPeriodBits - 4;
      e.summ = uint16_t((5 * i + 10) << e.shift);
      e.count = 4;
    }
}

// Creates the contexts one order up from the current chain for the symbol
// just found, down to the first suffix that already has its successor.
// Null when memory is full.
Context* PpmdModel::Impl::createSuccessors(bool skip) {
  Context* c = minContext;
  const uint32_t upBranch = foundState->successor();
  const uint8_t sym = foundState->symbol;
  State* ps[kMaxOrder + 1];
  unsigned numPs = 0;
  if (!skip) ps[numPs++] = foundState;
  while (c->suffix) {
    c = suffix(c);
    State* s;
    if (c->numStats != 1) {
      for (s = stats(c); s->symbol != sym; ++s) {
      }
    } else {
      s = c->oneState();
    }
    uint32_t successor = s->successor();
    if (successor != upBranch) {
      c = context(successor);
      if (numPs == 0) return c;
      break;
    }
    if (numPs == std::size(ps)) return nullptr;  // deeper than any order: start over
    ps[numPs++] = s;
  }

  State up;
  up.symbol = *mem.at(upBranch);
  up.setSuccessor(upBranch + 1);
  if (c->numStats == 1) {
    up.freq = c->oneState()->freq;
  } else {
    State* s = stats(c);
    while (s->symbol != up.symbol) ++s;
    unsigned cf = s->freq - 1u;
    unsigned s0 = c->summFreq - c->numStats - cf;
    up.freq = uint8_t(1 + (2 * cf <= s0 ? (5 * cf > s0) : (2 * cf + 3 * s0 - 1) / (2 * s0)));
  }

  do {
    auto* c1 = static_cast<Context*>(mem.allocContext());
    if (!c1) return nullptr;
    c1->numStats = 1;
    *c1->oneState() = up;
    c1->suffix = mem.ref(c);
    ps[--numPs]->setSuccessor(mem.ref(c1));
    c = c1;
  } while (numPs != 0);
  return c;
}

// Adds the symbol just decoded to every context from the longest one down
// to where it was found, and moves to the context that follows it.
void PpmdModel::Impl::updateModel() {
  State* const fs = foundState;
  uint32_t fSuccessor = fs->successor();

  if (fs->freq < kMaxFreq / 4 && minContext->suffix) {
    Context* c = suffix(minContext);
    if (c->numStats == 1) {
      State* s = c->oneState();
      if (s->freq < 32) s->freq++;
    } else {
      State* s = stats(c);
      if (s->symbol != fs->symbol) {
        do ++s;
        while (s->symbol != fs->symbol);
        if (s[0].freq >= s[-1].freq) {
          std::swap(s[0], s[-1]);
          --s;
        }
      }
      if (s->freq < kMaxFreq - 9) {
        s->freq += 2;
        c->summFreq = uint16_t(c->summFreq + 2);
      }
    }
  }

  if (orderFall == 0) {
    minContext = maxContext = createSuccessors(true);
    if (!minContext) return restartModel();
    fs->setSuccessor(mem.ref(minContext));
    return;
  }

  *mem.text++ = fs->symbol;
  uint32_t successor = mem.ref(mem.text);
  if (mem.text >= mem.unitsStart()) return restartModel();

  if (fSuccessor) {
    if (fSuccessor <= successor) {  // still a reference into the text
      Context* cs = createSuccessors(false);
      if (!cs) return restartModel();
      fSuccessor = mem.ref(cs);
    }
    if (--orderFall == 0) {
      successor = fSuccessor;
      mem.text -= (maxContext != minContext);
    }
  } else {
    fs->setSuccessor(successor);
    fSuccessor = mem.ref(minContext);
  }

  const unsigned ns = minContext->numStats;
  const unsigned s0 = minContext->summFreq - ns - (fs->freq - 1u);
  for (Context* c = maxContext; c != minContext; c = suffix(c)) {
    unsigned ns1 = c->numStats;
    if (ns1 != 1) {
      if ((ns1 & 1) == 0) {  // the symbol table's units are full
        void* grown = mem.expandUnits(stats(c), ns1 >> 1);
        if (!grown) return restartModel();
        c->stats = mem.ref(grown);
      }
      c->summFreq = uint16_t(c->summFreq + (2 * ns1 < ns) + 2 * ((4 * ns1 <= ns) & (c->summFreq <= 8 * ns1)));
    } else {
      auto* s = static_cast<State*>(mem.allocUnits(0));
      if (!s) return restartModel();
      *s = *c->oneState();
      c->stats = mem.ref(s);
      s->freq = s->freq < kMaxFreq / 4 - 1 ? uint8_t(s->freq * 2) : uint8_t(kMaxFreq - 4);
      c->summFreq = uint16_t(s->freq + initEsc + (ns > 3));
    }
    uint32_t cf = 2 * uint32_t(fs->freq) * (c->summFreq + 6u);
    uint32_t sf = s0 + c->summFreq;
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf) + (cf >= 4 * sf);
      c->summFreq = uint16_t(c->summFreq + 3);
    } else {
      cf = 4 + (cf >= 9 * sf) + (cf >= 12 * sf) + (cf >= 15 * sf);
      c->summFreq = uint16_t(c->summFreq + cf);
    }
    State* s = stats(c) + ns1;
    s->setSuccessor(successor);
    s->symbol = fs->symbol;
    s->freq = uint8_t(cf);
    c->numStats = uint16_t(ns1 + 1);
  }
  maxContext = minContext = context(fSuccessor);
}

// Halves the frequencies of the current context once one grew too large,
// keeping them sorted, and drops the symbols that fell to zero.
void PpmdModel::Impl::rescale() {
  State* const st = stats(minContext);
  State* s = foundState;
  {
    State tmp = *s;
    for (; s != st; --s) s[0] = s[-1];
    *s = tmp;
  }
  unsigned escFreq = minContext->summFreq - s->freq;
  s->freq += 4;
  const unsigned adder = orderFall != 0;
  s->freq = uint8_t((s->freq + adder) >> 1);
  unsigned sumFreq = s->freq;

  unsigned i = minContext->numStats - 1u;
  do {
    escFreq -= (++s)->freq;
    s->freq = uint8_t((s->freq + adder) >> 1);
    sumFreq += s->freq;
    if (s[0].freq > s[-1].freq) {
      State* s1 = s;
      State tmp = *s1;
      do s1[0] = s1[-1];
      while (--s1 != st && tmp.freq > s1[-1].freq);
      *s1 = tmp;
    }
  } while (--i);

  if (s->freq == 0) {
    const unsigned numStats = minContext->numStats;
    do i++;
    while ((--s)->freq == 0);
    escFreq += i;
    minContext->numStats = uint16_t(numStats - i);
    if (minContext->numStats == 1) {
      State tmp = *st;
      do {
        tmp.freq = uint8_t(tmp.freq - (tmp.freq >> 1));
        escFreq >>= 1;
      } while (escFreq > 1);
      mem.freeUnits(st, (numStats + 1) >> 1);
      *(foundState = minContext->oneState()) = tmp;
      return;
    }
    unsigned n0 = (numStats + 1) >> 1, n1 = (minContext->numStats + 1u) >> 1;
    if (n0 != n1) minContext->stats = mem.ref(mem.shrinkUnits(st, n0, n1));
  }
  minContext->summFreq = uint16_t(sumFreq + escFreq - (escFreq >> 1));
  foundState = stats(minContext);
}

// The escape frequency of the current context when `numMasked` of its
// symbols are excluded, from the SEE cell its situation selects.
See* PpmdModel::Impl::makeEscFreq(unsigned numMasked, uint32_t& escFreq) {
  const unsigned numStats = minContext->numStats;
  if (numStats == 256) {
    escFreq = 1;
    return &dummySee;
  }
  const unsigned nonMasked = numStats - numMasked;
  See* e = see[kTables.ns2Indx[(nonMasked - 1) & 0xFF]] +
           (nonMasked < unsigned(suffix(minContext)->numStats) - numStats) +
           2 * (minContext->summFreq < 11 * numStats) + 4 * (numMasked > nonMasked) + hiBitsFlag;
  escFreq = e->mean();
  return e;
}

int PpmdModel::Impl::decodeSymbol(BitInput& in) {
  uint8_t charMask[256];
  if (minContext->numStats != 1) {
    State* s = stats(minContext);
    const uint32_t summFreq = minContext->summFreq;
    const uint32_t count = rc.threshold(summFreq);
    if (count >= summFreq) return -1;
    uint32_t hiCnt = s->freq;
    if (count < hiCnt) {
      rc.decode(in, 0, s->freq);
      foundState = s;
      uint8_t sym = s->symbol;
      updateFirst();
      return sym;
    }
    prevSuccess = 0;
    unsigned i = minContext->numStats - 1u;
    do {
      if ((hiCnt += (++s)->freq) > count) {
        rc.decode(in, hiCnt - s->freq, s->freq);
        foundState = s;
        uint8_t sym = s->symbol;
        updateLater();
        return sym;
      }
    } while (--i);
    hiBitsFlag = kTables.hb2Flag[foundState->symbol];
    rc.decode(in, hiCnt, summFreq - hiCnt);
    memset(charMask, 0xFF, sizeof charMask);
    charMask[s->symbol] = 0;
    i = minContext->numStats - 1u;
    do charMask[(--s)->symbol] = 0;
    while (--i);
  } else {
    State* rs = minContext->oneState();
    hiBitsFlag = kTables.hb2Flag[foundState->symbol];
    uint16_t& prob =
        binSumm[(rs->freq - 1u) & 127][prevSuccess + kTables.ns2bsIndx[(suffix(minContext)->numStats - 1u) & 0xFF] +
                                       hiBitsFlag + 2 * kTables.hb2Flag[rs->symbol] + ((runLength >> 26) & 0x20)];
    const unsigned mean = (prob + (1u << (kPeriodBits - 2))) >> kPeriodBits;
    if (rc.bit(in, prob)) {
      prob = uint16_t(prob + (1u << kIntBits) - mean);
      foundState = rs;
      uint8_t sym = rs->symbol;
      updateBinary();
      return sym;
    }
    prob = uint16_t(prob - mean);
    initEsc = kExpEscape[prob >> 10];
    memset(charMask, 0xFF, sizeof charMask);
    charMask[rs->symbol] = 0;
    prevSuccess = 0;
  }

  // Escapes: shorter contexts, their symbols seen so far masked out.
  for (;;) {
    State* ps[256];
    const unsigned numMasked = minContext->numStats;
    do {
      orderFall++;
      if (!minContext->suffix) return -1;  // no byte left to escape to
      minContext = suffix(minContext);
    } while (minContext->numStats == numMasked);

    const unsigned numStats = minContext->numStats;
    if (numStats < numMasked || numStats > 256) return -1;
    const unsigned num = numStats - numMasked;
    State* s = stats(minContext);
    uint32_t hiCnt = 0;
    unsigned n = 0;
    // Branch-free gathering: which symbols are masked is unpredictable.
    for (unsigned k = 0; k < numStats && n != num; k++, s++) {
      const unsigned keep = charMask[s->symbol];  // 0xFF or 0
      hiCnt += s->freq & keep;
      ps[n] = s;
      n += keep & 1;
    }
    if (n != num) return -1;

    uint32_t freqSum;
    See* e = makeEscFreq(numMasked, freqSum);
    freqSum += hiCnt;
    const uint32_t count = rc.threshold(freqSum);
    if (count >= freqSum) return -1;
    if (count < hiCnt) {
      State** pps = ps;
      hiCnt = 0;
      while ((hiCnt += (*pps)->freq) <= count) ++pps;
      s = *pps;
      rc.decode(in, hiCnt - s->freq, s->freq);
      e->update();
      foundState = s;
      uint8_t sym = s->symbol;
      updateEscaped();
      return sym;
    }
    rc.decode(in, hiCnt, freqSum - hiCnt);
    e->summ = uint16_t(e->summ + freqSum);
    while (n) charMask[ps[--n]->symbol] = 0;
  }
}

PpmdModel::PpmdModel() : impl_(std::make_unique<Impl>()) {}
PpmdModel::~PpmdModel() = default;

int PpmdModel::init(BitInput& in, int& escChar) {
  Impl& m = *impl_;
  const unsigned flags = in.byte();
  unsigned megabytes = 0;
  if (flags & 0x20) megabytes = in.byte() + 1u;
  if (flags & 0x40) escChar = in.byte();
  if (in.overrun()) {
    m.ready = false;
    return in.error() ? in.error() : ERAR_BAD_DATA;
  }
  if (flags & 0x20) {
    m.ready = false;
    unsigned order = (flags & 0x1F) + 1;
    if (order > 16) order = 16 + (order - 16) * 3;
    if (order == 1) return ERAR_BAD_DATA;
    if (!m.mem.reserve(megabytes << 20)) return ERAR_NO_MEMORY;
    m.start(order);
    m.ready = true;
  } else if (!m.ready) {
    return ERAR_BAD_DATA;
  }
  m.rc.init(in);
  return 0;
}

int PpmdModel::decodeChar(BitInput& in) {
  Impl& m = *impl_;
  if (!m.ready) return -1;
  int c = m.decodeSymbol(in);
  if (c < 0 || m.rc.bad() || in.overrun()) {
    m.ready = false;
    return -1;
  }
  return c;
}

}  // namespace unrar
