// TStringParam: an ordered list of 8-bit strings whose text form joins the items with a separator
// of the caller's choice (";" for file lists, "," for process and key lists, "_" for name pieces).
//
// The list is unsorted and keeps duplicates; items keep their order of insertion. Each item may
// carry one attached value (an integer wide enough for a pointer or a registry root handle).
//
// Text form: setting the text splits it at every occurrence of the separator (a byte comparison of
// the whole separator); a trailing separator closes the last item instead of opening an empty one,
// so "a;b" and "a;b;" both give a and b, "a;;b" gives a, "" and b, and ";" gives one empty item.
// Getting the text writes every item followed by the separator ("a;b;"); an empty list gives "".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TStringParam {
public:
    using Value = std::uintptr_t;

    // An empty separator is replaced by CR LF, so the separator is never empty.
    explicit TStringParam(const std::string& text = std::string(), const std::string& separator = ",");

    const std::string& Separator() const { return separator_; }

    void SetText(const std::string& text);
    std::string Text() const;

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int index) const { return items_.at(static_cast<std::size_t>(index)).text; }
    std::string& operator[](int index) { return items_.at(static_cast<std::size_t>(index)).text; }
    Value Object(int index) const { return items_.at(static_cast<std::size_t>(index)).value; }

    // Appends an item and returns its index.
    int Add(const std::string& item, Value value = 0);
    void Delete(int index);
    void Clear() { items_.clear(); }
    // Index of the first item equal to s with letter case ignored, or -1.
    int IndexOf(const std::string& s) const;
    // Orders the items with letter case ignored; items that compare equal keep their order.
    void Sort();

private:
    struct Item {
        std::string text;
        Value value;
    };
    std::string separator_;
    std::vector<Item> items_;
};

// Letter-case-insensitive comparison of 8-bit text (ASCII letters folded), as the list uses it.
int CompareTextNoCase(const std::string& a, const std::string& b);
bool SameTextNoCase(const std::string& a, const std::string& b);
std::string UpperCaseAscii(std::string s);
