#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

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

#define QV_INSTANTIATE_FOR_EVERY_LEVEL(Suite) \
  INSTANTIATE_TEST_SUITE_P(Levels, Suite, ::testing::ValuesIn(qv::conversion::kAllLevels), qvtest::LevelParamName)

}  // namespace qvtest
