#include "unrar/Ppmd.h"

#include "unrar/unrar.h"

namespace unrar {

// Placeholder so callers link while the model is written: every PPMd
// block is reported as an unsupported feature.
struct PpmdModel::Impl {};

PpmdModel::PpmdModel() = default;
PpmdModel::~PpmdModel() = default;

int PpmdModel::init(BitInput&, int&) { return ERAR_UNKNOWN_FORMAT; }
int PpmdModel::decodeChar(BitInput&) { return -1; }

}  // namespace unrar
