#include "net/SchannelTransport.h"

#define SECURITY_WIN32
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>  // the SECURITY_FLAG_ checks of the SSL policy
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <cstring>

#include "base/SystemError.h"
#include "base/Text.h"
#include "net/Deadline.h"
#include "net/Transport.h"

namespace net {

namespace {

[[noreturn]] void Fail(const std::string& text) { throw TransportError(TransportError::Kind::Failed, text); }

std::string CodeText(long code) { return win::SystemErrorText(static_cast<DWORD>(code), "unknown error"); }

// The few causes a user can do something about get words of their own;
// the rest keep the system's text and code for whoever has to look it up.
std::string CertificateProblem(DWORD error, const std::string& host) {
  switch (error) {
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
    case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
    case static_cast<DWORD>(CERT_E_UNTRUSTEDTESTROOT):
      return "the server's certificate is not trusted (it was not issued by an authority this computer trusts)";
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return "the certificate is for another host name, not " + host;
    case static_cast<DWORD>(CERT_E_EXPIRED):
      return "the server's certificate has expired or is not valid yet";
    case static_cast<DWORD>(CERT_E_REVOKED):
      return "the server's certificate has been revoked";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
      return "the server's certificate is not meant for a server";
    default:
      return "the server's certificate was refused: " + CodeText(static_cast<long>(error));
  }
}

// The chain's own verdict, independent of any policy: a policy may let a
// chain through that stops at an issuer nobody holds (Wine's SSL policy
// does: it looks for an untrusted root but not for a partial chain). The
// only doubt tolerated is a revocation check that could not be made,
// because the list was unreachable or the certificate names none.
DWORD ChainProblem(DWORD status) {
  status &= ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  if (status == 0) return 0;
  if (status & CERT_TRUST_IS_REVOKED) return static_cast<DWORD>(CERT_E_REVOKED);
  if (status & (CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_CTL_IS_NOT_TIME_VALID))
    return static_cast<DWORD>(CERT_E_EXPIRED);
  if (status & (CERT_TRUST_IS_NOT_VALID_FOR_USAGE | CERT_TRUST_CTL_IS_NOT_VALID_FOR_USAGE))
    return static_cast<DWORD>(CERT_E_WRONG_USAGE);
  // Partial chains, untrusted roots, bad signatures, cycles, broken
  // constraints: all mean nobody this computer trusts vouches for the key.
  return static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
}

// What a policy may say when only the revocation lists were out of reach;
// a certificate really revoked is caught from the chain's own status.
bool IsOfflineRevocation(DWORD error) {
  return error == static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK) ||
         error == static_cast<DWORD>(CRYPT_E_REVOCATION_OFFLINE) ||
         error == static_cast<DWORD>(CERT_E_REVOCATION_FAILURE);
}

std::string HandshakeProblem(SECURITY_STATUS status, const std::string& host) {
  switch (status) {
    case SEC_E_UNTRUSTED_ROOT:
      return CertificateProblem(static_cast<DWORD>(CERT_E_UNTRUSTEDROOT), host);
    case SEC_E_WRONG_PRINCIPAL:
      return CertificateProblem(static_cast<DWORD>(CERT_E_CN_NO_MATCH), host);
    case SEC_E_CERT_EXPIRED:
      return CertificateProblem(static_cast<DWORD>(CERT_E_EXPIRED), host);
    case SEC_E_ALGORITHM_MISMATCH:
    case SEC_E_UNSUPPORTED_FUNCTION:
      return "the server and this computer have no TLS version or cipher in common";
    case SEC_E_ILLEGAL_MESSAGE:
    case SEC_E_DECRYPT_FAILURE:
    case SEC_E_MESSAGE_ALTERED:
    case SEC_E_INVALID_TOKEN:
      return "the server's answer is not valid TLS (does this port expect TLS?): " + CodeText(status);
    default:
      return "the TLS layer reported " + CodeText(status);
  }
}

// SSPI handles are structs, not pointers, so they get owners of their own:
// the struct is filled in by the call that opens it, and owned once adopted.
template <SECURITY_STATUS(SEC_ENTRY* Free)(SecHandle*)>
class SspiHandle {
 public:
  SspiHandle() = default;
  SspiHandle(const SspiHandle&) = delete;
  SspiHandle& operator=(const SspiHandle&) = delete;
  ~SspiHandle() { Reset(); }
  // Frees what is held; the struct is then free to be filled in again.
  SecHandle* Reset() {
    if (m_valid) Free(&m_handle);
    m_valid = false;
    return &m_handle;
  }
  void Adopt() { m_valid = true; }
  SecHandle* get() { return &m_handle; }

 private:
  SecHandle m_handle{};
  bool m_valid = false;
};
using Credentials = SspiHandle<&FreeCredentialsHandle>;
using Context = SspiHandle<&DeleteSecurityContext>;

// Output tokens Schannel allocated (ISC_REQ_ALLOCATE_MEMORY) go back to it.
struct TokenBuffer {
  SecBuffer buffer{0, SECBUFFER_TOKEN, nullptr};
  ~TokenBuffer() {
    if (buffer.pvBuffer) FreeContextBuffer(buffer.pvBuffer);
  }
};

struct CertificateFree {
  void operator()(const CERT_CONTEXT* c) const { CertFreeCertificateContext(c); }
};
struct ChainFree {
  void operator()(const CERT_CHAIN_CONTEXT* c) const { CertFreeCertificateChain(c); }
};

class SchannelTransport final : public Transport {
 public:
  explicit SchannelTransport(std::unique_ptr<Transport> inner) : m_inner(std::move(inner)) {}
  ~SchannelTransport() override { Close(); }

  // Returns what was wrong with the certificate when `check` let the
  // connection go on regardless; empty when nothing was.
  std::string Handshake(const std::string& host, int timeoutMs, TlsCheck check) {
    const auto deadline = DeadlineAfter(timeoutMs);
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    // The certificate is checked below, by hand, so a refusal can say why.
    // No client certificate is ever offered: a server that asks for one
    // optionally gets the empty answer TLS allows.
    cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    // Older versions have known breaks; every mail provider offers 1.2.
    // Not every Schannel knows 1.3, so it is asked for only where it is.
    cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
    TimeStamp expiry;
    SECURITY_STATUS status =
        AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr, &cred,
                                  nullptr, nullptr, m_credentials.Reset(), &expiry);
    if (status != SEC_E_OK) {
      cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
      status = AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr, &cred,
                                         nullptr, nullptr, m_credentials.Reset(), &expiry);
    }
    if (status != SEC_E_OK) Fail("TLS is not available on this computer: " + CodeText(status));
    m_credentials.Adopt();

    const DWORD wanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                         ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;
    std::string target = host;  // the name the server is asked for (SNI)
    bool needInput = false;
    int incompleteRetries = 0;
    for (bool first = true;; first = false) {
      if (needInput) {
        ReadMore(deadline);
        needInput = false;
      }
      SecBuffer in[2] = {{static_cast<unsigned long>(m_incoming.size()), SECBUFFER_TOKEN, m_incoming.data()},
                         {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
      TokenBuffer out;
      SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out.buffer};
      unsigned long granted = 0;
      status = InitializeSecurityContextA(m_credentials.get(), first ? nullptr : m_context.get(), target.data(), wanted,
                                          0, 0, first ? nullptr : &inDesc, 0, first ? m_context.get() : nullptr,
                                          &outDesc, &granted, &expiry);
      if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) m_context.Adopt();
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        needInput = true;
        continue;
      }
      if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED && status != SEC_I_INCOMPLETE_CREDENTIALS) {
        Fail(HandshakeProblem(status, host));
      }
      if (out.buffer.cbBuffer > 0 && out.buffer.pvBuffer) {
        m_inner->Send(std::string_view(static_cast<const char*>(out.buffer.pvBuffer), out.buffer.cbBuffer),
                      MillisLeftOrTimeOut(deadline));
      }
      // The server asked for a client certificate. Schannel has not
      // consumed the server's records yet: the same bytes go in again and
      // the handshake carries on without a certificate.
      if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
        if (++incompleteRetries > 2)
          Fail("the server insists on a client certificate, which this program does not have");
        continue;
      }
      if (!first) KeepExtra(in[1]);
      if (status == SEC_E_OK) break;
      needInput = m_incoming.empty();
    }

    status = QueryContextAttributesA(m_context.get(), SECPKG_ATTR_STREAM_SIZES, &m_sizes);
    if (status != SEC_E_OK) Fail("the TLS layer reported " + CodeText(status));
    CheckProtocol();
    try {
      CheckCertificate(host, deadline);
    } catch (const TransportError& e) {
      if (check == TlsCheck::Strict) throw;
      return e.what();
    }
    return {};
  }

  void Connect(const std::string&, int, int) override { Fail("a TLS connection cannot be reconnected"); }

  void Send(std::string_view bytes, int timeoutMs) override {
    const auto deadline = DeadlineAfter(timeoutMs);
    std::string record;
    while (!bytes.empty()) {
      const std::size_t chunk = std::min<std::size_t>(bytes.size(), m_sizes.cbMaximumMessage);
      record.assign(m_sizes.cbHeader + chunk + m_sizes.cbTrailer, '\0');
      std::memcpy(record.data() + m_sizes.cbHeader, bytes.data(), chunk);
      SecBuffer b[4] = {{m_sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                        {static_cast<unsigned long>(chunk), SECBUFFER_DATA, record.data() + m_sizes.cbHeader},
                        {m_sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + m_sizes.cbHeader + chunk},
                        {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
      SECURITY_STATUS status = EncryptMessage(m_context.get(), 0, &desc, 0);
      if (status != SEC_E_OK) Fail("the TLS layer could not encrypt: " + CodeText(status));
      m_inner->Send(std::string_view(record.data(), b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer),
                    MillisLeftOrTimeOut(deadline));
      bytes.remove_prefix(chunk);
    }
  }

  std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) override {
    const auto deadline = DeadlineAfter(timeoutMs);
    bool needInput = m_incoming.empty();
    while (m_plain.empty()) {
      if (needInput) ReadMore(deadline);
      SecBuffer b[4] = {{static_cast<unsigned long>(m_incoming.size()), SECBUFFER_DATA, m_incoming.data()},
                        {0, SECBUFFER_EMPTY, nullptr},
                        {0, SECBUFFER_EMPTY, nullptr},
                        {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
      SECURITY_STATUS status = DecryptMessage(m_context.get(), &desc, 0, nullptr);
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        needInput = true;
        continue;
      }
      if (status != SEC_E_OK && status != SEC_I_CONTEXT_EXPIRED && status != SEC_I_RENEGOTIATE) {
        Fail("the server's data could not be decrypted: " + CodeText(status));
      }
      // Decryption works in place: take the data out before the extra bytes
      // are moved to the front of the same buffer.
      for (const SecBuffer& part : b) {
        if (part.BufferType == SECBUFFER_DATA && part.cbBuffer)
          m_plain.append(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
      }
      std::string extra;
      for (const SecBuffer& part : b) {
        if (part.BufferType == SECBUFFER_EXTRA && part.cbBuffer)
          extra.assign(m_incoming.data() + m_incoming.size() - part.cbBuffer, part.cbBuffer);
      }
      m_incoming = std::move(extra);
      if (status == SEC_I_CONTEXT_EXPIRED && m_plain.empty()) {
        throw TransportError(TransportError::Kind::Ended, "the server ended the TLS session");
      }
      if (status == SEC_I_RENEGOTIATE) Fail("the server asked to renegotiate TLS, which this program does not do");
      needInput = m_incoming.empty();
    }
    const std::size_t n = std::min(capacity, m_plain.size());
    std::memcpy(buffer, m_plain.data(), n);
    m_plain.erase(0, n);
    return n;
  }

  void Close() noexcept override {
    if (m_inner) m_inner->Close();
  }

  std::string LocalHostName() override { return m_inner->LocalHostName(); }
  bool PeerIsLoopback() const override { return m_inner->PeerIsLoopback(); }

 private:
  void ReadMore(Clock::time_point deadline) {
    // A TLS record is at most about 16 KB; a server that keeps sending
    // without completing one is not speaking TLS.
    if (m_incoming.size() > 64 * 1024) Fail("the server sent too much data that is not valid TLS");
    char chunk[16384];
    std::size_t n = m_inner->Receive(chunk, sizeof chunk, MillisLeftOrTimeOut(deadline));
    m_incoming.append(chunk, n);
  }

  // Bytes the last call did not consume belong to the next message.
  void KeepExtra(const SecBuffer& maybeExtra) {
    if (maybeExtra.BufferType == SECBUFFER_EXTRA && maybeExtra.cbBuffer > 0) {
      m_incoming.erase(0, m_incoming.size() - maybeExtra.cbBuffer);
    } else {
      m_incoming.clear();
    }
  }

  // A Schannel that ignored the protocol list must not leave us on an old one.
  void CheckProtocol() {
    SecPkgContext_ConnectionInfo info{};
    if (QueryContextAttributesA(m_context.get(), SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK) return;
    const DWORD old = SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    if (info.dwProtocol & old) Fail("the server offers only a TLS version older than 1.2");
  }

  void CheckCertificate(const std::string& host, Clock::time_point deadline) {
    const CERT_CONTEXT* raw = nullptr;
    SECURITY_STATUS status = QueryContextAttributesA(m_context.get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw);
    if (status != SEC_E_OK || !raw) Fail("the server sent no certificate");
    std::unique_ptr<const CERT_CONTEXT, CertificateFree> certificate(raw);

    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {serverAuth};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    // Revocation lists are fetched within what is left of the time; one that
    // cannot be reached leaves the status unknown, which ChainProblem allows.
    chainPara.dwUrlRetrievalTimeout = static_cast<DWORD>(MillisLeftOrTimeOut(deadline));
    const DWORD chainFlags =
        CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT;
    const CERT_CHAIN_CONTEXT* rawChain = nullptr;
    // The intermediates the server sent travel in the certificate's own store.
    if (!CertGetCertificateChain(nullptr, certificate.get(), nullptr, certificate->hCertStore, &chainPara, chainFlags,
                                 nullptr, &rawChain) ||
        !rawChain) {
      Fail("the server's certificate could not be checked: " + CodeText(static_cast<long>(GetLastError())));
    }
    std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree> chain(rawChain);
    const DWORD chainProblem = ChainProblem(chain->TrustStatus.dwErrorStatus);

    std::wstring name = win::AnsiToWide(host);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = name.data();
    // Revocation was judged above from the chain itself.
    ssl.fdwChecks = SECURITY_FLAG_IGNORE_REVOCATION;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS result{};
    result.cbSize = sizeof result;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &result)) {
      Fail("the server's certificate could not be checked: " + CodeText(static_cast<long>(GetLastError())));
    }
    if (chainProblem) Fail(CertificateProblem(chainProblem, host));
    if (result.dwError != 0 && !IsOfflineRevocation(result.dwError)) Fail(CertificateProblem(result.dwError, host));
  }

  std::unique_ptr<Transport> m_inner;
  Credentials m_credentials;
  Context m_context;
  SecPkgContext_StreamSizes m_sizes{};
  std::string m_incoming;  // received, not yet decrypted
  std::string m_plain;     // decrypted, not yet handed out
};

}  // namespace

std::unique_ptr<Transport> StartSchannelTls(std::unique_ptr<Transport> plain, const std::string& host, int timeoutMs,
                                            TlsCheck check, std::string* certificateDoubt) {
  if (!plain) Fail("no connection to secure");
  auto secured = std::make_unique<SchannelTransport>(std::move(plain));
  // On any failure the owner closes the socket: nothing more is sent on it.
  std::string doubt = secured->Handshake(host, timeoutMs, check);
  if (certificateDoubt) *certificateDoubt = std::move(doubt);
  return secured;
}

}  // namespace net
