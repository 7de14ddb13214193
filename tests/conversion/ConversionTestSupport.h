#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "ConversionKernels.h"

namespace qv::conversion {
// Failure messages name the kernel rather than dumping the enum's bytes.
inline void PrintTo(ConversionLevel level, std::ostream* os) { *os << LevelName(level); }
}  // namespace qv::conversion

namespace qvtest {

using qv::conversion::ConversionLevel;

// Parameterised over every kernel level; the levels this CPU lacks are skipped.
class EveryLevel : public ::testing::TestWithParam<ConversionLevel> {
 protected:
  void SetUp() override {
    if (!qv::conversion::IsLevelSupported(GetParam()))
      GTEST_SKIP() << "this CPU cannot run the " << qv::conversion::LevelName(GetParam()) << " kernel";
  }
};

inline std::string LevelParamName(const ::testing::TestParamInfo<ConversionLevel>& info) {
  std::string name = qv::conversion::LevelName(info.param);
  std::string clean;
  for (char c : name)
    if (c != '-') clean += c;
  return clean;
}

// Bytes written as pairs of hexadecimal digits; spaces are ignored.
inline std::vector<unsigned char> Hex(const std::string& text) {
  std::vector<unsigned char> bytes;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    bytes.push_back(static_cast<unsigned char>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    i += 2;
  }
  return bytes;
}

// The BT.601 integer formula for one pixel, written out here in plain 32-bit arithmetic,
// apart from the library's own (the exhaustive tests hold every kernel against it).
inline void Formula(int y, int u, int v, unsigned char* out) {
  const auto clamp = [](int value) { return static_cast<unsigned char>(value < 0 ? 0 : value > 255 ? 255 : value); };
  const int c = y - 16, d = u - 128, e = v - 128;
  out[0] = clamp((298 * c + 516 * d + 128) >> 8);
  out[1] = clamp((298 * c - 100 * d - 208 * e + 128) >> 8);
  out[2] = clamp((298 * c + 409 * e + 128) >> 8);
}

#define QV_INSTANTIATE_FOR_EVERY_LEVEL(Suite) \
  INSTANTIATE_TEST_SUITE_P(Levels, Suite, ::testing::ValuesIn(qv::conversion::kAllLevels), qvtest::LevelParamName)

}  // namespace qvtest
