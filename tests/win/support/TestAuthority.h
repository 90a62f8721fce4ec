#pragma once
// Trusts the test peers' authority for as long as it lives, and fails the
// test when it cannot.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "PeerClient.h"
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

// The test peers' authority trusted for a whole test suite: Begin from
// SetUpTestSuite, End from TearDownTestSuite.
class ForSuite {
 public:
  static void Begin() { Held() = std::make_unique<Trusted>(peers::PeerClient::FromEnvironment().TlsAuthorityPem()); }
  static void End() { Held().reset(); }

 private:
  static std::unique_ptr<Trusted>& Held() {
    static std::unique_ptr<Trusted> trusted;
    return trusted;
  }
};

}  // namespace test_authority
