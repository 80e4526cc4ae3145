#include <gtest/gtest.h>

#include "RetryList.h"

TEST(RetryList, LinesShowTheNameThenTheFolderInParentheses) {
    struct Case {
        const char* path;
        const char* folder;
        const char* line;
    } cases[] = {
        {"C:\\Program Files\\Veltrona\\Pluvion\\Data\\a.dll", "C:\\Program Files\\Veltrona\\Pluvion\\Data",
         "a.dll (C:\\Program Files\\Veltrona\\Pluvion\\Data)"},
        {"C:\\dir\\\\\\file.dat", "C:\\dir", "file.dat (C:\\dir)"},  // trailing backslashes all go
        {"C:file.dat", "C:", "file.dat (C:)"},                       // a colon ends the folder part too
        {"C:\\a.txt", "C:", "a.txt (C:)"},
        {"\\\\a.txt", "", "a.txt ()"},                               // only backslashes: no folder
        {"a.txt", "", "a.txt ()"},
        {"C:\\dir\\", "C:\\dir", " (C:\\dir)"},
        {"", "", " ()"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(retry::FolderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(retry::ListLine(c.path), c.line) << c.path;
    }
}
