// The system pieces of the Schannel engine: SECUR32.DLL and CRYPT32.DLL from the system folder
// only, the server certificate's check and the system's texts for SSPI and chain errors.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "platform/win32/TlsSystem.h"

#include <cstring>
#include <mutex>
#include <string>

#include "http/HttpErrors.h"
#include "platform/Platform.h"
#include "platform/win32/SystemLibrary.h"

namespace platform {

namespace {

// How long the chain engine may spend fetching revocation lists and answers, in all.
constexpr DWORD kRevocationFetchMs = 10000;

template <typename F>
bool Bind(HMODULE module, F& function, const char* name) {
    function = SystemFunction<F>(module, name);
    return function != nullptr;
}

struct ChainEngine {
    decltype(&CertGetCertificateChain) getChain = nullptr;
    decltype(&CertVerifyCertificateChainPolicy) verifyPolicy = nullptr;
    decltype(&CertFreeCertificateChain) freeChain = nullptr;
    decltype(&CertFreeCertificateContext) freeCertificate = nullptr;
    decltype(&CertFindExtension) findExtension = nullptr;
    decltype(&CryptDecodeObjectEx) decode = nullptr;
};

const ChainEngine& LoadChainEngine() {
    static std::once_flag once;
    static ChainEngine engine;
    static bool bound = false;
    std::call_once(once, [] {
        HMODULE module = LoadSystemLibrary("CRYPT32.DLL");
        bound = Bind(module, engine.getChain, "CertGetCertificateChain") &&
                Bind(module, engine.verifyPolicy, "CertVerifyCertificateChainPolicy") &&
                Bind(module, engine.freeChain, "CertFreeCertificateChain") &&
                Bind(module, engine.freeCertificate, "CertFreeCertificateContext") &&
                Bind(module, engine.findExtension, "CertFindExtension") &&
                Bind(module, engine.decode, "CryptDecodeObjectEx");
    });
    if (!bound) throw http::HttpError(std::string(http::kHttpsUnsupported) + " CRYPT32.DLL cannot be loaded.");
    return engine;
}

// The chain errors that only say revocation could not be asked about: the list or the answer
// was out of reach, or the certificate names no place to ask (offline machines, test chains).
constexpr DWORD kRevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

bool IsRevocationUnknown(long error) {
    return error == CRYPT_E_NO_REVOCATION_CHECK || error == CRYPT_E_REVOCATION_OFFLINE ||
           error == CERT_E_REVOCATION_FAILURE;
}

// The text for chain errors the chain engine itself found (some policies let a partial chain pass).
const char* ChainText(DWORD status) {
    if (status & CERT_TRUST_IS_REVOKED) return http::kTlsRevoked;
    if (status & CERT_TRUST_IS_NOT_TIME_VALID) return http::kTlsExpired;
    return http::kTlsUntrusted;
}

long ChainError(DWORD status) {
    if (status & CERT_TRUST_IS_REVOKED) return CRYPT_E_REVOKED;
    if (status & CERT_TRUST_IS_NOT_TIME_VALID) return CERT_E_EXPIRED;
    if (status & CERT_TRUST_IS_UNTRUSTED_ROOT) return CERT_E_UNTRUSTEDROOT;
    if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return CERT_E_WRONG_USAGE;
    return CERT_E_CHAINING;
}

// A dotted IPv4 address, four decimal numbers up to 255.
bool ParseAddress(const std::string& text, unsigned char (&address)[4]) {
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
        int value = 0;
        std::size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
            value = value * 10 + (text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) return false;
        address[part] = static_cast<unsigned char>(value);
    }
    return at == text.size();
}

// Whether the certificate lists `host`, an IPv4 address, among its IP address names (RFC 5280
// 4.2.1.6). Wine's SSL policy matches DNS names only.
bool NamesAddress(const ChainEngine& crypt, const CERT_CONTEXT* certificate, const std::string& host) {
    unsigned char address[4];
    if (!ParseAddress(host, address)) return false;
    const CERT_INFO* info = certificate->pCertInfo;
    CERT_EXTENSION* names = crypt.findExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    if (!names) return false;
    CERT_ALT_NAME_INFO* decoded = nullptr;
    DWORD size = 0;
    if (!crypt.decode(X509_ASN_ENCODING, X509_ALTERNATE_NAME, names->Value.pbData, names->Value.cbData,
                      CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &size)) {
        return false;
    }
    bool found = false;
    for (DWORD i = 0; i < decoded->cAltEntry; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = decoded->rgAltEntry[i];
        if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == 4 &&
            std::memcmp(entry.IPAddress.pbData, address, 4) == 0) {
            found = true;
        }
    }
    LocalFree(decoded);
    return found;
}

const char* PolicyText(long error) {
    switch (error) {
        case CERT_E_EXPIRED:
        case CERT_E_VALIDITYPERIODNESTING: return http::kTlsExpired;
        case CERT_E_CN_NO_MATCH: return http::kTlsNameMismatch;
        case CRYPT_E_REVOKED: return http::kTlsRevoked;
        default: return http::kTlsUntrusted;
    }
}

}  // namespace

const Sspi& LoadSspi() {
    // CRYPT32.DLL first: SECUR32.DLL imports it, and it is then found loaded, never searched for
    // (Wine resolves a system DLL's imports in the program's folder first when told to prefer
    // native DLLs).
    LoadChainEngine();
    static std::once_flag once;
    static Sspi sspi;
    std::call_once(once, [] {
        PSecurityFunctionTableA(WINAPI * init)() = nullptr;
        if (Bind(LoadSystemLibrary("SECUR32.DLL"), init, "InitSecurityInterfaceA")) sspi.table = init();
    });
    const PSecurityFunctionTableA t = sspi.table;
    if (!t || !t->AcquireCredentialsHandleA || !t->InitializeSecurityContextA || !t->DecryptMessage ||
        !t->EncryptMessage || !t->ApplyControlToken || !t->QueryContextAttributesA || !t->FreeContextBuffer ||
        !t->DeleteSecurityContext || !t->FreeCredentialsHandle) {
        throw http::HttpError(std::string(http::kHttpsUnsupported) + " SECUR32.DLL cannot be loaded.");
    }
    return sspi;
}

std::string WithSystemText(const char* text, long status) {
    return std::string(text) + " " + SystemErrorMessage(static_cast<unsigned long>(status));
}

void CheckServerCertificate(const CERT_CONTEXT* certificate, const std::string& host) {
    const ChainEngine& crypt = LoadChainEngine();
    struct Held {
        const ChainEngine& crypt;
        const CERT_CONTEXT* certificate;
        const CERT_CHAIN_CONTEXT* chain = nullptr;
        ~Held() {
            if (chain) crypt.freeChain(chain);
            crypt.freeCertificate(certificate);
        }
    } held{crypt, certificate};

    // The chain from the server's certificate (and what it sent beside it) to a root the system
    // trusts, for server authentication, with revocation asked for every certificate but the root.
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {serverAuth};
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    chainPara.dwUrlRetrievalTimeout = kRevocationFetchMs;
    const DWORD chainFlags = CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT;
    if (!crypt.getChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara, chainFlags, nullptr,
                        &held.chain)) {
        throw http::HttpError(WithSystemText(http::kTlsUntrusted, static_cast<long>(GetLastError())));
    }
    // Any fault the chain engine found fails, whatever the policy says of it; revocation that
    // could not be asked about is no fault.
    const DWORD chainStatus = held.chain->TrustStatus.dwErrorStatus;
    const DWORD faults = chainStatus & ~kRevocationUnknown;
    if (faults != 0) throw http::HttpError(WithSystemText(ChainText(faults), ChainError(faults)));

    // The SSL policy: trusted root, dates, usage and the host name.
    std::wstring name(host.size() + 1, L'\0');
    const int converted = MultiByteToWideChar(CP_ACP, 0, host.c_str(), -1, &name[0], static_cast<int>(name.size()));
    if (converted <= 0) throw http::HttpError(http::kTlsNameMismatch);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = (chainStatus & kRevocationUnknown) ? 0x00000080 /* SECURITY_FLAG_IGNORE_REVOCATION */ : 0;
    ssl.pwszServerName = &name[0];
    CERT_CHAIN_POLICY_PARA policyPara = {};
    policyPara.cbSize = sizeof policyPara;
    policyPara.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policyPara.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS policy = {};
    policy.cbSize = sizeof policy;
    if (!crypt.verifyPolicy(CERT_CHAIN_POLICY_SSL, held.chain, &policyPara, &policy)) {
        throw http::HttpError(WithSystemText(http::kTlsUntrusted, static_cast<long>(GetLastError())));
    }
    const long error = static_cast<long>(policy.dwError);
    if (error == 0) return;
    if (IsRevocationUnknown(error)) return;
    if (error == CERT_E_CN_NO_MATCH && NamesAddress(crypt, certificate, host)) return;
    throw http::HttpError(WithSystemText(PolicyText(error), error));
}

}  // namespace platform
