#include "ConversionKernels.h"
#include "YuvFormula.h"

namespace qv::conversion {

namespace {
template <int Y0, int U, int Y1, int V>
void ConvertGroups(const unsigned char* s, unsigned char* d, std::size_t groups) {
  for (std::size_t k = 0; k < groups; ++k, s += 4, d += 6) {
    YuvToBgr(s[Y0], s[U], s[V], d);
    YuvToBgr(s[Y1], s[U], s[V], d + 3);
  }
}
}  // namespace

void ConvertGroupsScalarYuy2(const unsigned char* source, unsigned char* destination, std::size_t groups) {
  ConvertGroups<0, 1, 2, 3>(source, destination, groups);
}

void ConvertGroupsScalarUyvy(const unsigned char* source, unsigned char* destination, std::size_t groups) {
  ConvertGroups<1, 0, 3, 2>(source, destination, groups);
}

}  // namespace qv::conversion
