// The TLS engine of the Win32 build: Schannel through SSPI. Certificates are checked by the
// program itself with the system's chain engine (CertGetCertificateChain, then
// CertVerifyCertificateChainPolicy with the SSL policy and the host name), not by Schannel's
// automatic check, so that each failure gets its own text and an unreachable revocation source
// does not fail a chain that is otherwise valid.
#include "platform/Tls.h"

#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS  // SCH_CREDENTIALS and TLS_PARAMETERS
#include <windows.h>
#include <subauth.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <cstring>
#include <string>

#include "http/HttpErrors.h"
#include "platform/win32/TlsSystem.h"

namespace platform {

namespace {

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_USE_SUPPLIED_CREDS |
                                ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr DWORD kAllowedProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
constexpr unsigned char kAlertRecord = 21;

class SchannelEngine : public http::TlsEngine {
public:
    explicit SchannelEngine(const std::string& host) : host_(host), sspi_(LoadSspi()) {
        AcquireCredentials();
    }
    ~SchannelEngine() override {
        if (haveContext_) sspi_.table->DeleteSecurityContext(&context_);
        sspi_.table->FreeCredentialsHandle(&credentials_);
    }

    Result Handshake(char* in, std::size_t size, std::size_t& consumed, std::string& out) override {
        consumed = 0;
        while (true) {
            std::size_t used = 0;
            const SECURITY_STATUS status = Step(in + consumed, size - consumed, used, out);
            consumed += used;
            if (status == SEC_E_INCOMPLETE_MESSAGE) return Result::NeedMore;
            if (status == SEC_E_OK) {
                Established();
                return Result::Done;
            }
            if (status != SEC_I_CONTINUE_NEEDED && status != SEC_I_INCOMPLETE_CREDENTIALS) {
                throw http::HttpError(WithSystemText(http::kTlsHandshakeFailed, status));
            }
            // More handshake records already here are taken at once; else wait for the server.
            if (consumed == size || used == 0) return Result::NeedMore;
        }
    }

    Result Decrypt(char* in, std::size_t size, std::size_t& consumed, std::string& plain,
                   std::string& out) override {
        consumed = 0;
        while (consumed < size) {
            SecBuffer buffers[4] = {};
            buffers[0].BufferType = SECBUFFER_DATA;
            buffers[0].pvBuffer = in + consumed;
            buffers[0].cbBuffer = static_cast<unsigned long>(size - consumed);
            for (int i = 1; i < 4; ++i) buffers[i].BufferType = SECBUFFER_EMPTY;
            SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
            const unsigned char contentType = static_cast<unsigned char>(in[consumed]);  // before it is decrypted in place
            const SECURITY_STATUS status = sspi_.table->DecryptMessage(&context_, &description, 0, nullptr);
            if (status == SEC_E_INCOMPLETE_MESSAGE) break;
            if (status != SEC_E_OK && status != SEC_I_CONTEXT_EXPIRED && status != SEC_I_RENEGOTIATE) {
                throw http::HttpError(WithSystemText(http::kTlsBadRecord, status));
            }
            std::size_t extra = 0;
            const std::size_t before = plain.size();
            for (const SecBuffer& b : buffers) {
                if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
                    plain.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
                }
                if (b.BufferType == SECBUFFER_EXTRA) extra = b.cbBuffer;
            }
            const bool gotData = plain.size() > before;
            consumed = size - extra;
            if (status == SEC_I_CONTEXT_EXPIRED) return Result::Closed;
            // Wine's Schannel answers the close_notify of TLS 1.2 with success and no data: an
            // alert record (content type 21, RFC 5246 6.2.1) that decrypted without error.
            if (status == SEC_E_OK && !gotData && contentType == kAlertRecord) return Result::Closed;
            if (status == SEC_I_RENEGOTIATE) {
                // A post-handshake message (a TLS 1.3 session ticket or key update): the bytes
                // behind it go back through the handshake call.
                std::size_t used = 0;
                const SECURITY_STATUS next = Step(in + consumed, size - consumed, used, out);
                if (next != SEC_E_OK && next != SEC_I_CONTINUE_NEEDED && next != SEC_E_INCOMPLETE_MESSAGE) {
                    throw http::HttpError(WithSystemText(http::kTlsBadRecord, next));
                }
                consumed += used;
            }
        }
        return Result::NeedMore;
    }

    void Encrypt(const char* data, std::size_t size, std::string& out) override {
        while (size > 0) {
            const std::size_t piece = size < sizes_.cbMaximumMessage ? size : sizes_.cbMaximumMessage;
            record_.resize(sizes_.cbHeader + piece + sizes_.cbTrailer);
            char* base = &record_[0];
            std::memcpy(base + sizes_.cbHeader, data, piece);
            SecBuffer buffers[4] = {};
            buffers[0] = {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, base};
            buffers[1] = {static_cast<unsigned long>(piece), SECBUFFER_DATA, base + sizes_.cbHeader};
            buffers[2] = {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, base + sizes_.cbHeader + piece};
            buffers[3] = {0, SECBUFFER_EMPTY, nullptr};
            SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
            const SECURITY_STATUS status = sspi_.table->EncryptMessage(&context_, 0, &description, 0);
            if (status != SEC_E_OK) throw http::HttpError(WithSystemText(http::kTlsBadRecord, status));
            out.append(base, buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
            data += piece;
            size -= piece;
        }
    }

    void Close(std::string& out) override {
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer token = {sizeof type, SECBUFFER_TOKEN, &type};
        SecBufferDesc description = {SECBUFFER_VERSION, 1, &token};
        if (sspi_.table->ApplyControlToken(&context_, &description) != SEC_E_OK) return;
        std::size_t used = 0;
        Step(nullptr, 0, used, out);
    }

private:
    // Schannel for TLS 1.2 and 1.3 only. Newer systems take the protocols to leave out
    // (SCH_CREDENTIALS); older ones and Wine only the protocols to use (SCHANNEL_CRED), some
    // of them without TLS 1.3. The protocol is checked again once the session is up.
    void AcquireCredentials() {
        TimeStamp expiry;
        TLS_PARAMETERS parameters = {};
        parameters.grbitDisabledProtocols = ~kAllowedProtocols;
        SCH_CREDENTIALS modern = {};
        modern.dwVersion = SCH_CREDENTIALS_VERSION;
        modern.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
        modern.cTlsParameters = 1;
        modern.pTlsParameters = &parameters;
        SECURITY_STATUS status = Acquire(&modern, expiry);
        for (const DWORD protocols : {kAllowedProtocols, static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT)}) {
            if (status == SEC_E_OK) break;
            SCHANNEL_CRED legacy = {};
            legacy.dwVersion = SCHANNEL_CRED_VERSION;
            legacy.grbitEnabledProtocols = protocols;
            legacy.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
            status = Acquire(&legacy, expiry);
        }
        if (status != SEC_E_OK) throw http::HttpError(WithSystemText(http::kHttpsUnsupported, status));
    }

    SECURITY_STATUS Acquire(void* data, TimeStamp& expiry) {
        return sspi_.table->AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A),
                                                      SECPKG_CRED_OUTBOUND, nullptr, data, nullptr, nullptr,
                                                      &credentials_, &expiry);
    }

    // One call of the handshake: `in` is the server's bytes (none on the first call and for the
    // close), `used` what of them Schannel took; its token is appended to `out`.
    SECURITY_STATUS Step(char* in, std::size_t size, std::size_t& used, std::string& out) {
        SecBuffer input[2] = {};
        input[0] = {static_cast<unsigned long>(size), SECBUFFER_TOKEN, in};
        input[1] = {0, SECBUFFER_EMPTY, nullptr};
        SecBufferDesc inputDescription = {SECBUFFER_VERSION, 2, input};
        SecBuffer output[1] = {};
        output[0] = {0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outputDescription = {SECBUFFER_VERSION, 1, output};
        unsigned long attributes = 0;
        const SECURITY_STATUS status = sspi_.table->InitializeSecurityContextA(
            &credentials_, haveContext_ ? &context_ : nullptr, const_cast<char*>(host_.c_str()), kContextFlags, 0,
            0, haveContext_ ? &inputDescription : nullptr, 0, &context_, &outputDescription, &attributes, nullptr);
        if (!haveContext_ && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) haveContext_ = true;
        if (output[0].pvBuffer) {
            out.append(static_cast<const char*>(output[0].pvBuffer), output[0].cbBuffer);
            sspi_.table->FreeContextBuffer(output[0].pvBuffer);
        }
        used = 0;
        if (status == SEC_E_INCOMPLETE_MESSAGE || !in) return status;
        used = size - (input[1].BufferType == SECBUFFER_EXTRA ? input[1].cbBuffer : 0);
        return status;
    }

    void Established() {
        SecPkgContext_ConnectionInfo info = {};
        if (sspi_.table->QueryContextAttributesA(&context_, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK ||
            (info.dwProtocol & kAllowedProtocols) == 0) {
            throw http::HttpError(std::string(http::kTlsHandshakeFailed) +
                                  " The server offers no TLS version from 1.2 on.");
        }
        const SECURITY_STATUS sized = sspi_.table->QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
        if (sized != SEC_E_OK) throw http::HttpError(WithSystemText(http::kTlsHandshakeFailed, sized));
        const CERT_CONTEXT* certificate = nullptr;
        const SECURITY_STATUS got =
            sspi_.table->QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
        if (got != SEC_E_OK || !certificate) throw http::HttpError(WithSystemText(http::kTlsUntrusted, got));
        CheckServerCertificate(certificate, host_);
    }

    std::string host_;
    const Sspi& sspi_;
    CredHandle credentials_ = {};
    CtxtHandle context_ = {};
    bool haveContext_ = false;
    SecPkgContext_StreamSizes sizes_ = {};
    std::string record_;  // one record being made
};

}  // namespace

std::unique_ptr<http::TlsEngine> MakeTlsEngine(const std::string& host) {
    return std::make_unique<SchannelEngine>(host);
}

}  // namespace platform
