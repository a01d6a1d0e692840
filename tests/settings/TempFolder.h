#pragma once
// The settings tests' name for the shared per-test temporary folder.
#include "tests/common/TempDir.h"

namespace testing_support {
using TempFolder = TempDir;
}  // namespace testing_support
