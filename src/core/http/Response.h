// Pure parsing of a response head (RFC 9112 sections 4 to 7): the status line, header fields,
// the body length and chunk sizes. Nothing here touches a connection.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace http {

// The largest body, span or chunk the client counts: the progress bar holds a 32-bit signed
// count.
constexpr std::int64_t kMaxCount = 2147483647;

using Headers = std::vector<std::pair<std::string, std::string>>;

std::string ToLower(std::string text);
std::string Trim(const std::string& text);  // blanks and tabs at both ends

// The second blank-separated field of the status line read as a decimal number, -1 when it is
// not one.
int StatusCode(const std::string& statusLine);

// "1.0" or "1.1" from a status line beginning "HTTP/1.0" or "HTTP/1.1"; empty otherwise.
std::string ResponseVersion(const std::string& statusLine);

// Adds one header line ("Name: value") to `headers`, the value without surrounding blanks.
// A line without ":" is kept as a name with an empty value.
void AddHeaderLine(Headers& headers, const std::string& line);

// The value of the first field named `name` (compared without regard to case), or null.
const std::string* FindHeader(const Headers& headers, const std::string& name);

enum class LengthStatus {
    Absent,   // no Content-Length field
    Valid,    // `length` holds it, 0 to kMaxCount
    Invalid,  // negative, not a number, or several fields that disagree
    TooLarge, // a number above kMaxCount
};
LengthStatus ContentLength(const Headers& headers, std::int64_t& length);

// Whether the Transfer-Encoding field names the chunked coding.
bool IsChunked(const Headers& headers);

// A chunk-size line: hexadecimal digits, cut at the first blank, tab or ";" (chunk extensions).
LengthStatus ChunkSize(const std::string& line, std::int64_t& size);

// Whether the "Connection" or "Proxy-Connection" field says "close".
bool SaysClose(const Headers& headers);

}  // namespace http
