#include "http/Response.h"

#include "Decimal.h"

namespace http {

std::string ToLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

int StatusCode(const std::string& statusLine) {
    const std::size_t blank = statusLine.find(' ');
    if (blank == std::string::npos) return -1;
    std::size_t start = statusLine.find_first_not_of(' ', blank);
    if (start == std::string::npos) return -1;
    const std::size_t end = statusLine.find(' ', start);
    const std::string field = statusLine.substr(start, end - start);
    if (field.empty() || field.size() > 9) return -1;
    std::size_t i = 0;
    bool negative = false;
    if (field[0] == '-' || field[0] == '+') {
        negative = field[0] == '-';
        i = 1;
    }
    std::uint64_t value = 0;  // at most nine digits: within an int
    if (ParseDecimal(field.data() + i, field.data() + field.size(), 999999999, value) != DecimalResult::Ok) return -1;
    return negative ? -static_cast<int>(value) : static_cast<int>(value);
}

std::string ResponseVersion(const std::string& statusLine) {
    if (statusLine.compare(0, 9, "HTTP/1.0 ") == 0 || statusLine == "HTTP/1.0") return "1.0";
    if (statusLine.compare(0, 9, "HTTP/1.1 ") == 0 || statusLine == "HTTP/1.1") return "1.1";
    return std::string();
}

void AddHeaderLine(Headers& headers, const std::string& line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) {
        headers.emplace_back(Trim(line), std::string());
        return;
    }
    headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
}

const std::string* FindHeader(const Headers& headers, const std::string& name) {
    const std::string wanted = ToLower(name);
    for (const auto& field : headers) {
        if (ToLower(field.first) == wanted) return &field.second;
    }
    return nullptr;
}

namespace {

// Decimal digits only, no sign: "-5", "+5", "5x" and "" are not lengths.
LengthStatus ParseLength(const std::string& text, std::int64_t& value) {
    std::uint64_t result = 0;
    switch (ParseDecimal(text.data(), text.data() + text.size(), static_cast<std::uint64_t>(kMaxCount), result)) {
    case DecimalResult::NotDecimal: return LengthStatus::Invalid;  // "99999999999x" too
    case DecimalResult::OutOfRange: return LengthStatus::TooLarge;
    case DecimalResult::Ok: break;
    }
    value = static_cast<std::int64_t>(result);
    return LengthStatus::Valid;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

LengthStatus ContentLength(const Headers& headers, std::int64_t& length) {
    LengthStatus status = LengthStatus::Absent;
    std::int64_t found = 0;
    for (const auto& field : headers) {
        if (ToLower(field.first) != "content-length") continue;
        std::int64_t value = 0;
        const LengthStatus one = ParseLength(field.second, value);
        if (one != LengthStatus::Valid) return one;
        // RFC 9112 6.3: differing lengths make the message length unknowable.
        if (status == LengthStatus::Valid && value != found) return LengthStatus::Invalid;
        status = LengthStatus::Valid;
        found = value;
    }
    if (status == LengthStatus::Valid) length = found;
    return status;
}

bool IsChunked(const Headers& headers) {
    for (const auto& field : headers) {
        if (ToLower(field.first) != "transfer-encoding") continue;
        if (ToLower(field.second).find("chunked") != std::string::npos) return true;
    }
    return false;
}

LengthStatus ChunkSize(const std::string& line, std::int64_t& size) {
    const std::string digits = line.substr(0, line.find_first_of(" \t;"));
    if (digits.empty()) return LengthStatus::Invalid;
    std::int64_t value = 0;
    bool tooLarge = false;
    for (char c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0) return LengthStatus::Invalid;
        if (!tooLarge) {
            value = value * 16 + digit;
            if (value > kMaxCount) tooLarge = true;
        }
    }
    if (tooLarge) return LengthStatus::TooLarge;
    size = value;
    return LengthStatus::Valid;
}

bool SaysClose(const Headers& headers) {
    for (const char* name : {"Connection", "Proxy-Connection"}) {
        const std::string* value = FindHeader(headers, name);
        if (value && ToLower(Trim(*value)) == "close") return true;
    }
    return false;
}

}  // namespace http
