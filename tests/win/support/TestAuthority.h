#pragma once
// Trusts the test peers' authority for as long as it lives: the prefix may be
// brand new, so the authority goes into the machine's Root store, where the
// chain check looks, and leaves with the owner.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace test_authority {

class Trusted {
 public:
  explicit Trusted(const std::string& pem) {
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr)) {
      ADD_FAILURE() << "the authority is not PEM";
      return;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                         nullptr, nullptr);
    m_root = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (!m_root) {
      ADD_FAILURE() << "no Root store: " << GetLastError();
      return;
    }
    if (!CertAddEncodedCertificateToStore(m_root, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_REPLACE_EXISTING,
                                          &m_authority))
      ADD_FAILURE() << "cannot add the authority: " << std::hex << GetLastError();
    // Wine keeps a system store's changes in memory until they are
    // committed; the chain check opens the store afresh and would miss them.
    EXPECT_TRUE(CertControlStore(m_root, 0, CERT_STORE_CTRL_COMMIT, nullptr)) << std::hex << GetLastError();
  }
  ~Trusted() {
    if (m_authority) CertDeleteCertificateFromStore(m_authority);  // frees the context too
    if (m_root) CertCloseStore(m_root, 0);
  }
  Trusted(const Trusted&) = delete;
  Trusted& operator=(const Trusted&) = delete;

 private:
  HCERTSTORE m_root = nullptr;
  PCCERT_CONTEXT m_authority = nullptr;
};

}  // namespace test_authority
