// The application's counted wait cursor and the file dialog's set-up.
#include "framework/FileDialog.h"
#include "framework/WinApp.h"

#include <gtest/gtest.h>

#include <string>

TEST(WaitCursor, StaysUpUntilEveryBeginHasItsEnd)
{
    CWinApp app;
    app.BeginWaitCursor();
    app.BeginWaitCursor();
    EXPECT_EQ(app.GetWaitCursorCount(), 2);
    app.EndWaitCursor();
    EXPECT_EQ(app.GetWaitCursorCount(), 1);
    {
        CWaitCursor guard;
        EXPECT_EQ(app.GetWaitCursorCount(), 2);
    }
    EXPECT_EQ(app.GetWaitCursorCount(), 1);
    app.EndWaitCursor();
    app.EndWaitCursor(); // one End too many does not go below zero
    EXPECT_EQ(app.GetWaitCursorCount(), 0);
    app.BeginWaitCursor();
    EXPECT_EQ(app.GetWaitCursorCount(), 1);
    app.EndWaitCursor();
}

TEST(WaitCursor, GuardEndsOnEveryWayOut)
{
    CWinApp app;
    auto leaveEarly = [](bool early) {
        CWaitCursor guard;
        if (early)
            return 1;
        return 0;
    };
    leaveEarly(true);
    leaveEarly(false);
    EXPECT_EQ(app.GetWaitCursorCount(), 0);
}

TEST(FileDialog, FilterBarsBecomeTheNulsThePlatformWants)
{
    struct Case {
        const char* filter;
        std::string platform;
    };
    const Case cases[] = {
        {"Upgrade Option File(*.ENH)|*.ENH||", std::string("Upgrade Option File(*.ENH)\0*.ENH\0\0\0", 35)},
        {"A|*.a|B|*.b||", std::string("A\0*.a\0B\0*.b\0\0\0", 14)},
        // The closing bars left out: the list is still ended.
        {"A|*.a", std::string("A\0*.a\0", 6)},
    };
    for (const Case& c : cases) {
        CFileDialog dialog(TRUE, "ENH", nullptr, OFN_HIDEREADONLY, c.filter);
        EXPECT_EQ(dialog.GetPlatformFilter(), c.platform) << c.filter;
    }
}

TEST(FileDialog, InitialFolderIsKeptWholeAndFileNameIsCutToTheBuffer)
{
    // A 260-character folder and its backslash: more than a 261-byte buffer.
    const CString folder = CString("C:\\") + CString('f', 257) + "\\";
    CFileDialog dialog(TRUE, "ENH", (CString('n', 300)).GetString());
    dialog.SetInitialFolder(folder);
    EXPECT_EQ(dialog.GetInitialFolder(), folder);
    EXPECT_EQ(dialog.GetPathName().GetLength(), CFileDialog::kFileNameBufferSize - 1);
}
