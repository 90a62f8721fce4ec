#pragma once
// Makes a PEM authority a trusted root of the machine: the prefix may be
// brand new, so it goes into the machine's Root store, where the chain check
// looks. Free of the test framework, so the end-to-end harness uses it too.
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace test_authority {

class RootEntry {
 public:
  explicit RootEntry(const std::string& pem) {
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr)) {
      m_error = "the authority is not PEM";
      return;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                         nullptr, nullptr);
    m_root = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (!m_root) {
      m_error = "no Root store: " + std::to_string(GetLastError());
      return;
    }
    if (!CertAddEncodedCertificateToStore(m_root, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_REPLACE_EXISTING,
                                          &m_authority)) {
      m_error = "cannot add the authority: " + std::to_string(GetLastError());
      return;
    }
    // Wine keeps a system store's changes in memory until they are
    // committed; the chain check opens the store afresh and would miss them.
    if (!CertControlStore(m_root, 0, CERT_STORE_CTRL_COMMIT, nullptr))
      m_error = "cannot commit the Root store: " + std::to_string(GetLastError());
  }
  // The authority leaves with its owner, unless kept.
  ~RootEntry() {
    if (m_authority && !m_kept) {
      CertDeleteCertificateFromStore(m_authority);  // frees the context too
      CertControlStore(m_root, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    } else if (m_authority) {
      CertFreeCertificateContext(m_authority);
    }
    if (m_root) CertCloseStore(m_root, 0);
  }
  RootEntry(const RootEntry&) = delete;
  RootEntry& operator=(const RootEntry&) = delete;

  // Empty once the authority is trusted; otherwise what failed.
  const std::string& Error() const { return m_error; }
  // Leaves the authority trusted after this object is gone.
  void Keep() { m_kept = true; }

 private:
  HCERTSTORE m_root = nullptr;
  PCCERT_CONTEXT m_authority = nullptr;
  std::string m_error;
  bool m_kept = false;
};

}  // namespace test_authority
