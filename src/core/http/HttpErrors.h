// Exceptions raised by the HTTP client. Each message is exactly the text the user is shown
// after the installer's own language text.
#pragma once

#include <stdexcept>
#include <string>

namespace http {

// Any failure of a request: the base the worker catches.
class HttpError : public std::runtime_error {
public:
    explicit HttpError(const std::string& message) : std::runtime_error(message) {}
};

// A failed socket call. `Code` is the Windows Sockets error number (natively, errno values are
// mapped onto those numbers); the message is "Socket Error # N" CR LF and the description.
class SocketError : public HttpError {
public:
    explicit SocketError(int code);
    int Code() const { return code_; }

private:
    int code_;
};

// The server answered with a status the client does not accept (non-2xx, a redirect, 401,
// 407). The message is the status line exactly as received; `Body` holds the answer's text.
class ProtocolError : public HttpError {
public:
    ProtocolError(int status, const std::string& statusLine, std::string body)
        : HttpError(statusLine), status_(status), body_(std::move(body)) {}
    int Status() const { return status_; }
    const std::string& Body() const { return body_; }

private:
    int status_;
    std::string body_;
};

// The fixed texts of the other failures.
extern const char* const kConnectTimedOut;    // "Connect timed out."
extern const char* const kReadTimeout;        // "Read Timeout"
extern const char* const kClosedGracefully;   // "Connection Closed Gracefully."
extern const char* const kMaxLineExceeded;    // "Max line length exceeded."
extern const char* const kUndefinedSituation; // "Undefined situation"
extern const char* const kHttpsUnsupported;   // "Secure (https) addresses are not supported."
extern const char* const kHostFieldEmpty;     // "Host field is empty"

// TLS failures ("https" addresses). Each may be followed by a blank and the system's reason.
extern const char* const kTlsUntrusted;       // the chain leads to no trusted root
extern const char* const kTlsExpired;         // a certificate is out of its dates
extern const char* const kTlsNameMismatch;    // the certificate names another host
extern const char* const kTlsRevoked;         // a certificate of the chain is revoked
extern const char* const kTlsHandshakeFailed; // no session could be agreed
extern const char* const kTlsBadRecord;       // a record that does not decrypt or parse
extern const char* const kTlsClosedEarly;     // the connection ended without close_notify

// The description the client gives for a Windows Sockets error number; empty for numbers it
// does not describe (a failed host-name look-up, for example).
const char* SocketErrorDescription(int code);

// Windows Sockets error numbers the transports raise themselves.
enum WinsockCode : int {
    kWsaEINTR = 10004,
    kWsaEBADF = 10009,
    kWsaEACCES = 10013,
    kWsaEFAULT = 10014,
    kWsaEINVAL = 10022,
    kWsaEMFILE = 10024,
    kWsaEWOULDBLOCK = 10035,
    kWsaEINPROGRESS = 10036,
    kWsaEALREADY = 10037,
    kWsaENOTSOCK = 10038,
    kWsaEMSGSIZE = 10040,
    kWsaEAFNOSUPPORT = 10047,
    kWsaEADDRINUSE = 10048,
    kWsaEADDRNOTAVAIL = 10049,
    kWsaENETDOWN = 10050,
    kWsaENETUNREACH = 10051,
    kWsaENETRESET = 10052,
    kWsaECONNABORTED = 10053,
    kWsaECONNRESET = 10054,
    kWsaENOBUFS = 10055,
    kWsaEISCONN = 10056,
    kWsaENOTCONN = 10057,
    kWsaESHUTDOWN = 10058,
    kWsaETIMEDOUT = 10060,
    kWsaECONNREFUSED = 10061,
    kWsaEHOSTDOWN = 10064,
    kWsaEHOSTUNREACH = 10065,
    kWsaHostNotFound = 11001,  // authoritative answer: no such host
    kWsaTryAgain = 11002,      // non-authoritative: temporary failure
    kWsaNoRecovery = 11003,
    kWsaNoData = 11004,
};

}  // namespace http
