#include <gtest/gtest.h>

#include "uStrParam.h"

namespace {
std::vector<std::string> Items(const TStringParam& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
    return out;
}
using V = std::vector<std::string>;
}  // namespace

TEST(StringParam, SplitsTextByTheWholeSeparator) {
    struct Case {
        const char* text;
        const char* separator;
        V items;
    } cases[] = {
        {"", ";", {}},
        {"a;b", ";", {"a", "b"}},
        {"a;b;", ";", {"a", "b"}},          // a trailing separator closes the last item
        {"a;b;;", ";", {"a", "b", ""}},     // two of them leave one empty last item
        {"a;;b", ";", {"a", "", "b"}},
        {";", ";", {""}},
        {"x", ";", {"x"}},
        {"a\r\nb\rc\r\n", "\r\n", {"a", "b\rc"}},  // a lone CR stays inside its item
        {"1,,2", ",", {"1", "", "2"}},
        {"a::b::c", "::", {"a", "b", "c"}},
        {"a:b::c", "::", {"a:b", "c"}},
        {"A;a", ";", {"A", "a"}},           // the separator match is case-sensitive bytes
        {"xSEPySepz", "SEP", {"x", "ySepz"}},
    };
    for (const Case& c : cases) {
        TStringParam list(c.text, c.separator);
        EXPECT_EQ(Items(list), c.items) << "text '" << c.text << "' separator '" << c.separator << "'";
    }
}

TEST(StringParam, TextJoinsEveryItemWithATrailingSeparator) {
    TStringParam list("", ";");
    EXPECT_EQ(list.Text(), "");
    list.Add("a");
    list.Add("b");
    EXPECT_EQ(list.Text(), "a;b;");
    list.Add("");
    EXPECT_EQ(list.Text(), "a;b;;");
}

TEST(StringParam, SettingAListToItsOwnTextGivesTheSameItems) {
    for (const V& items : {V{"a", "", "b"}, V{"", ""}, V{"one"}, V{"", "x", "", "y"}, V{}}) {
        TStringParam list("", ";");
        for (const auto& s : items) list.Add(s);
        const std::string text = list.Text();
        list.SetText(text);
        EXPECT_EQ(Items(list), items) << text;
    }
}

TEST(StringParam, EmptySeparatorBehavesAsCrLf) {
    TStringParam list("a\r\nb", "");
    EXPECT_EQ(list.Separator(), "\r\n");
    EXPECT_EQ(Items(list), (V{"a", "b"}));
    EXPECT_EQ(list.Text(), "a\r\nb\r\n");
}

TEST(StringParam, KeepsAttachedValuesOrderAndDuplicates) {
    TStringParam list("", ",");
    EXPECT_EQ(list.Add("k", 0x80000001u), 0);
    EXPECT_EQ(list.Add("k"), 1);
    EXPECT_EQ(list.Add("j", 7), 2);
    EXPECT_EQ(list.Object(0), 0x80000001u);
    EXPECT_EQ(list.Object(1), 0u);
    list.Delete(0);
    EXPECT_EQ(Items(list), (V{"k", "j"}));
    EXPECT_EQ(list.Object(1), 7u);
    EXPECT_THROW(list.Delete(2), std::out_of_range);
    EXPECT_THROW(list.Delete(-1), std::out_of_range);
    list.SetText("p,q");  // setting the text drops the old values
    EXPECT_EQ(list.Object(0), 0u);
}

TEST(StringParam, IndexOfAndSortIgnoreLetterCase) {
    TStringParam list("C:\\B.txt;c:\\a.TXT;C:\\b.txt;c:\\A.txt", ";");
    EXPECT_EQ(list.IndexOf("c:\\b.TXT"), 0);
    EXPECT_EQ(list.IndexOf("C:\\A.TXT"), 1);
    EXPECT_EQ(list.IndexOf("C:\\A"), -1);
    list.Sort();
    EXPECT_EQ(Items(list), (V{"c:\\a.TXT", "c:\\A.txt", "C:\\B.txt", "C:\\b.txt"}));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Text(), "");
}
