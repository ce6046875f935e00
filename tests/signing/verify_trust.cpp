// Checks Authenticode signatures as Windows does before it trusts a signed
// add-in or package: WinVerifyTrust with the generic verify action, no user
// interface, no revocation look-up (the test authority publishes no list).
// Run by tools/test-signing.sh; not a CTest program of its own.
//
//   verify_trust AUTHORITY.cer SIGNED.dll TAMPERED.dll UNSIGNED.dll [SIGNED.msi]
//
// The authority is one made for the test run. It is made a trusted root of
// this machine only for the checks that need it, and taken out again on every
// path. Prints one line per check ("ok - ...", "not ok - ...", or "skip - ..."
// where Wine cannot do what Windows does, with the reason) and exits
// with the number of checks that failed.
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

struct StoreCloser {
  void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
using StoreHandle = std::unique_ptr<void, StoreCloser>;

struct CertificateFreer {
  void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
using CertificateHandle = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;

std::wstring Widen(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

std::vector<BYTE> ReadFileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The verdict of the generic Authenticode policy on one file: ERROR_SUCCESS
// when it is signed, unchanged since, and chains to a trusted root.
LONG TrustOf(const std::wstring& path) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = path.c_str();

  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;

  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  HWND noUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const LONG verdict = WinVerifyTrust(noUser, &action, &data);
  // The verify step keeps state until it is closed, whatever its verdict.
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(noUser, &action, &data);
  return verdict;
}

struct MessageCloser {
  void operator()(HCRYPTMSG message) const { CryptMsgClose(message); }
};
using MessageHandle = std::unique_ptr<void, MessageCloser>;

struct ChainFreer {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
using ChainHandle = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer>;

// The certificate that signed a file, and the certificates its signature
// carries (the chain up to the authority).
struct Signer {
  StoreHandle carried;
  CertificateHandle certificate;
};

Signer SignerOf(const std::wstring& path) {
  Signer signer;
  HCERTSTORE rawStore = nullptr;
  HCRYPTMSG rawMessage = nullptr;
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                        CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &rawStore, &rawMessage,
                        nullptr)) {
    return signer;
  }
  signer.carried.reset(rawStore);
  const MessageHandle message(rawMessage);
  DWORD size = 0;
  if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size) || size == 0) {
    return signer;
  }
  std::vector<BYTE> signerInfo(size);
  if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, signerInfo.data(), &size)) {
    return signer;
  }
  signer.certificate.reset(CertFindCertificateInStore(signer.carried.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                      0, CERT_FIND_SUBJECT_CERT, signerInfo.data(), nullptr));
  return signer;
}

struct ChainEngineFreer {
  void operator()(HCERTCHAINENGINE engine) const { CertFreeCertificateChainEngine(engine); }
};
using ChainEngineHandle = std::unique_ptr<void, ChainEngineFreer>;

// The Authenticode chain policy's verdict on the chain of a file's signer.
// Built with the machine's trusted roots as they are now (a chain engine of
// its own, not the process's default one that keeps the roots it first
// read), or, given a store, with its certificates as the only roots.
LONG ChainPolicyOf(const std::wstring& path, HCERTSTORE onlyRoots = nullptr) {
  const Signer signer = SignerOf(path);
  if (!signer.certificate) return TRUST_E_NOSIGNATURE;
  CERT_CHAIN_ENGINE_CONFIG config = {};
  config.cbSize = sizeof(config);
  config.hExclusiveRoot = onlyRoots;
  HCERTCHAINENGINE rawEngine = nullptr;
  if (!CertCreateCertificateChainEngine(&config, &rawEngine)) return HRESULT_FROM_WIN32(GetLastError());
  const ChainEngineHandle engine(rawEngine);
  CERT_CHAIN_PARA chainPara = {};
  chainPara.cbSize = sizeof(chainPara);
  PCCERT_CHAIN_CONTEXT rawChain = nullptr;
  if (!CertGetCertificateChain(engine.get(), signer.certificate.get(), nullptr, signer.carried.get(), &chainPara,
                               0, nullptr, &rawChain)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  const ChainHandle chain(rawChain);
  CERT_CHAIN_POLICY_PARA policyPara = {};
  policyPara.cbSize = sizeof(policyPara);
  CERT_CHAIN_POLICY_STATUS status = {};
  status.cbSize = sizeof(status);
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain.get(), &policyPara, &status)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  return static_cast<LONG>(status.dwError);
}

// The authority alone, in a store of its own.
StoreHandle StoreWith(const std::vector<BYTE>& der) {
  StoreHandle store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
  if (!store || der.empty() ||
      !CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                        CERT_STORE_ADD_NEW, nullptr)) {
    return StoreHandle();
  }
  return store;
}

// Wine 8's Authenticode policy provider asks for the signer certificate's
// signature hash in a 20-byte buffer; for a certificate signed with SHA-256
// the call fails, and the provider then skips the chain policy and reports
// success. Under Wine a signature from an untrusted authority is therefore
// accepted; Windows refuses it.
bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The test authority as a trusted root of the local machine, for the
// lifetime of the object.
class TrustedRoot {
 public:
  explicit TrustedRoot(const std::vector<BYTE>& der)
      : store_(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root")) {
    if (!store_ || der.empty()) return;
    PCCERT_CONTEXT added = nullptr;
    if (CertAddEncodedCertificateToStore(store_.get(), X509_ASN_ENCODING, der.data(),
                                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_NEW, &added)) {
      added_.reset(added);
    }
  }
  ~TrustedRoot() {
    // CertDeleteCertificateFromStore frees the context it is given.
    if (added_) CertDeleteCertificateFromStore(CertDuplicateCertificateContext(added_.get()));
  }
  TrustedRoot(const TrustedRoot&) = delete;
  TrustedRoot& operator=(const TrustedRoot&) = delete;

  bool IsTrusted() const { return static_cast<bool>(added_); }

 private:
  StoreHandle store_;
  CertificateHandle added_;
};

class Checks {
 public:
  void Expect(const char* what, const char* path, LONG expected) {
    Report(what, "WinVerifyTrust", path, TrustOf(Widen(path)), expected);
  }
  void ExpectChain(const char* what, const char* path, LONG expected, HCERTSTORE onlyRoots = nullptr) {
    Report(what, "chain policy", path, ChainPolicyOf(Widen(path), onlyRoots), expected);
  }
  // Trusted on Windows; Wine 8 builds its "Root" store, whatever the location
  // or provider asked for, from the host's certificate bundle in memory, and
  // a certificate added to it does not reach the chain engine.
  void ExpectTrustedByMachineRoots(const char* what, const char* path) {
    const LONG verdict = ChainPolicyOf(Widen(path));
    if (verdict == CERT_E_UNTRUSTEDROOT && RunsUnderWine()) {
      std::printf("skip - %s: Wine's trusted roots are the host's certificate bundle; one added to its "
                  "Root store is not used for chains (0x%08lX)\n", what, static_cast<unsigned long>(verdict));
      return;
    }
    Report(what, "chain policy", path, verdict, ERROR_SUCCESS);
  }
  // Refused on Windows; under Wine, accepted for the reason told at RunsUnderWine.
  void ExpectUntrustedRootRefused(const char* what, const char* path) {
    const LONG verdict = TrustOf(Widen(path));
    if (verdict == ERROR_SUCCESS && RunsUnderWine()) {
      std::printf("skip - %s: Wine's WinVerifyTrust does not apply the chain policy to a signer "
                  "certificate signed with SHA-256 (accepted, 0x00000000)\n", what);
      return;
    }
    Report(what, "WinVerifyTrust", path, verdict, CERT_E_UNTRUSTEDROOT);
  }
  void Fail(const char* what) {
    ++failed_;
    std::printf("not ok - %s (error %lu)\n", what, GetLastError());
  }
  int failed() const { return failed_; }

 private:
  void Report(const char* what, const char* by, const char* path, LONG verdict, LONG expected) {
    const bool ok = verdict == expected;
    if (!ok) ++failed_;
    std::printf("%s - %s: %s 0x%08lX, expected 0x%08lX (%s)\n", ok ? "ok" : "not ok", what, by,
                static_cast<unsigned long>(verdict), static_cast<unsigned long>(expected), path);
  }

  int failed_ = 0;
};

int Run(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: verify_trust AUTHORITY.cer SIGNED.dll TAMPERED.dll UNSIGNED.dll [SIGNED.msi]\n");
    return 2;
  }
  const char* signedDll = argv[2];
  const char* tamperedDll = argv[3];
  const char* unsignedDll = argv[4];
  const char* signedMsi = argc == 6 ? argv[5] : nullptr;

  const std::vector<BYTE> authority = ReadFileBytes(argv[1]);
  Checks checks;
  checks.Expect("unsigned DLL refused", unsignedDll, TRUST_E_NOSIGNATURE);
  const StoreHandle authorityAlone = StoreWith(authority);
  if (!authorityAlone) checks.Fail("the test authority read");
  checks.ExpectChain("signer of the DLL chains to the test authority, valid for code signing", signedDll,
                     ERROR_SUCCESS, authorityAlone.get());
  checks.ExpectChain("signer of the DLL not trusted while its authority is not", signedDll, CERT_E_UNTRUSTEDROOT);
  checks.ExpectUntrustedRootRefused("signed DLL refused while its authority is not trusted", signedDll);
  {
    TrustedRoot root(authority);
    if (!root.IsTrusted()) {
      checks.Fail("the test authority added to the machine's trusted roots");
      return checks.failed();
    }
    checks.ExpectTrustedByMachineRoots("signer of the DLL trusted once its authority is", signedDll);
    checks.Expect("signed DLL accepted", signedDll, ERROR_SUCCESS);
    checks.Expect("signed DLL with one byte changed refused", tamperedDll, TRUST_E_BAD_DIGEST);
    checks.Expect("unsigned DLL refused with the authority trusted", unsignedDll, TRUST_E_NOSIGNATURE);
    if (signedMsi) checks.Expect("signed package accepted", signedMsi, ERROR_SUCCESS);
  }
  checks.ExpectChain("signer not trusted again once the authority is removed", signedDll, CERT_E_UNTRUSTEDROOT);
  return checks.failed();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (...) {
    std::fprintf(stderr, "verify_trust: unexpected failure\n");
    return 100;
  }
}
