#include "uStrParam.h"

#include <algorithm>

namespace {
unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }
}  // namespace

int CompareTextNoCase(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = FoldAscii(static_cast<unsigned char>(a[i]));
        const unsigned char y = FoldAscii(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameTextNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CompareTextNoCase(a, b) == 0;
}

std::string UpperCaseAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
    return s;
}

TStringParam::TStringParam(const std::string& text, const std::string& separator)
    : separator_(separator.empty() ? std::string("\r\n") : separator) {
    SetText(text);
}

void TStringParam::SetText(const std::string& text) {
    items_.clear();
    if (text.empty()) return;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t hit = text.find(separator_, start);
        if (hit == std::string::npos) {
            // No closing separator: the rest is the last item.
            items_.push_back({text.substr(start), 0});
            return;
        }
        items_.push_back({text.substr(start, hit - start), 0});
        start = hit + separator_.size();
    }
}

std::string TStringParam::Text() const {
    std::string out;
    for (const Item& item : items_) {
        out += item.text;
        out += separator_;
    }
    return out;
}

int TStringParam::Add(const std::string& item, Value value) {
    items_.push_back({item, value});
    return Count() - 1;
}

void TStringParam::Delete(int index) {
    items_.at(static_cast<std::size_t>(index));  // an index outside the list raises, as item access does
    items_.erase(items_.begin() + index);
}

int TStringParam::IndexOf(const std::string& s) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (SameTextNoCase(items_[i].text, s)) return static_cast<int>(i);
    return -1;
}

void TStringParam::Sort() {
    std::stable_sort(items_.begin(), items_.end(),
                     [](const Item& a, const Item& b) { return CompareTextNoCase(a.text, b.text) < 0; });
}
