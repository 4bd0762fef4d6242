#pragma once

// The Windows side of temporary files, shared by the runs' files and the
// copy's writer.
#include "Win.h"

#include <cstdint>

namespace sistema {

// A random number, for the names of temporary files.
std::uint32_t casuale();

}  // namespace sistema
