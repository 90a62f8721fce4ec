#pragma once
// Trusts the test peers' authority for as long as it lives, and fails the
// test when it cannot.
#include <gtest/gtest.h>

#include <string>

#include "TrustedRoot.h"

namespace test_authority {

class Trusted {
 public:
  explicit Trusted(const std::string& pem) : m_entry(pem) {
    if (!m_entry.Error().empty()) ADD_FAILURE() << "cannot trust the test authority: " << m_entry.Error();
  }

 private:
  RootEntry m_entry;
};

}  // namespace test_authority
