#pragma once
// The bundle the module tests load: the built one, unless CALDRITH_TEST_BUNDLE in the
// environment names another copy (an installed one, for the release checks).
#include <cstdlib>
#include <string>

#ifdef CALDRITH_TEST_BUNDLE
inline std::string BundleUnderTest() {
  const char* named = std::getenv("CALDRITH_TEST_BUNDLE");
  return named && *named ? std::string(named) : std::string(CALDRITH_TEST_BUNDLE);
}
#endif
