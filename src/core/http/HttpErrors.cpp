#include "http/HttpErrors.h"

#include <cstdio>

namespace http {

const char* const kConnectTimedOut = "Connect timed out.";
const char* const kReadTimeout = "Read Timeout";
const char* const kClosedGracefully = "Connection Closed Gracefully.";
const char* const kMaxLineExceeded = "Max line length exceeded.";
const char* const kUndefinedSituation = "Undefined situation";
const char* const kHttpsUnsupported = "Secure (https) addresses are not supported.";
const char* const kHostFieldEmpty = "Host field is empty";
const char* const kTlsUntrusted = "The server's certificate is not from a trusted authority.";
const char* const kTlsExpired = "The server's certificate has expired or is not yet valid.";
const char* const kTlsNameMismatch = "The server's certificate is for another name.";
const char* const kTlsRevoked = "The server's certificate has been revoked.";
const char* const kTlsHandshakeFailed = "The secure connection (TLS) could not be set up.";
const char* const kTlsBadRecord = "The secure connection (TLS) received data it cannot read.";
const char* const kTlsClosedEarly = "The connection was closed before the TLS close.";

namespace {

// Descriptions of the numbers 10004 to 10066; a null entry has none.
const char* const kDescriptions[] = {
    "Interrupted system call.",                           // 10004
    nullptr, nullptr, nullptr, nullptr,                   // 10005..10008
    "Bad file number.",                                   // 10009
    nullptr, nullptr, nullptr,                            // 10010..10012
    "Access denied.",                                     // 10013
    "Bad address.",                                       // 10014
    nullptr, nullptr, nullptr, nullptr, nullptr,          // 10015..10019
    nullptr, nullptr,                                     // 10020..10021
    "Invalid argument.",                                  // 10022
    nullptr,                                              // 10023
    "Too many open files.",                               // 10024
    nullptr, nullptr, nullptr, nullptr, nullptr,          // 10025..10029
    nullptr, nullptr, nullptr, nullptr, nullptr,          // 10030..10034
    "Operation would block. ",                            // 10035 (the trailing blank is part of it)
    "Operation now in progress.",                         // 10036
    "Operation already in progress.",                     // 10037
    "Socket operation on non-socket.",                    // 10038
    "Destination address required.",                      // 10039
    "Message too long.",                                  // 10040
    "Protocol wrong type for socket.",                    // 10041
    "Bad protocol option.",                               // 10042
    "Protocol not supported.",                            // 10043
    "Socket type not supported.",                         // 10044
    "Operation not supported on socket.",                 // 10045
    "Protocol family not supported.",                     // 10046
    "Address family not supported by protocol family.",   // 10047
    "Address already in use.",                            // 10048
    "Cannot assign requested address.",                   // 10049
    "Network is down.",                                   // 10050
    "Network is unreachable.",                            // 10051
    "Net dropped connection or reset.",                   // 10052
    "Software caused connection abort.",                  // 10053
    "Connection reset by peer.",                          // 10054
    "No buffer space available.",                         // 10055
    "Socket is already connected.",                       // 10056
    "Socket is not connected.",                           // 10057
    "Cannot send or receive after socket is closed.",     // 10058
    "Too many references, cannot splice.",                // 10059
    "Connection timed out.",                              // 10060
    "Connection refused.",                                // 10061
    "Too many levels of symbolic links.",                 // 10062
    "File name too long.",                                // 10063
    "Host is down.",                                      // 10064
    "No route to host.",                                  // 10065
    "Directory not empty",                                // 10066
};
constexpr int kFirstDescribed = 10004;
constexpr int kDescribedCount = static_cast<int>(sizeof(kDescriptions) / sizeof(kDescriptions[0]));
static_assert(kDescribedCount == 10066 - 10004 + 1, "one entry per number 10004..10066");

std::string SocketMessage(int code) {
    char head[48];
    std::snprintf(head, sizeof head, "Socket Error # %d\r\n", code);
    return std::string(head) + SocketErrorDescription(code);
}

}  // namespace

const char* SocketErrorDescription(int code) {
    if (code < kFirstDescribed || code >= kFirstDescribed + kDescribedCount) return "";
    const char* text = kDescriptions[code - kFirstDescribed];
    return text ? text : "";
}

SocketError::SocketError(int code) : HttpError(SocketMessage(code)), code_(code) {}

}  // namespace http
