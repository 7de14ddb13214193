// Lets GoogleTest print a decode result in words ("refused: wrong size").
#pragma once

#include <ostream>

#include "MjpgDecoder.h"

namespace qv {

inline void PrintTo(const MjpgDecodeResult& result, std::ostream* out) { *out << Describe(result); }

}  // namespace qv
