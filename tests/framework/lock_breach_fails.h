// Included by a test program: from then on every test in it fails when code
// that needs the plug-in mutex runs without it. gSeen/Record let a test swap in a recorder.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/plug_base.h"

namespace lock_rule {

inline void FailTheTest(const char* where) {
  ADD_FAILURE() << "the plug-in mutex is not held in " << where;
}

class FailOnBreach : public ::testing::Environment {
 public:
  void SetUp() override { IPlugBase::SetLockBreachHandler(&FailTheTest); }
  void TearDown() override { IPlugBase::SetLockBreachHandler(nullptr); }
};

inline const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new FailOnBreach);

inline std::vector<std::string> gSeen;
inline void Record(const char* where) {
  gSeen.push_back(where);
}

}  // namespace lock_rule
