#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform;

TEST(MessageBox, DefaultHandlerAnswersTheCautiousButton) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(IDNO, MessageBox("Create it?", "Question", MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(IDCANCEL, MessageBox("Go on?", "Q", MB_OKCANCEL));
    EXPECT_EQ(IDOK, MessageBox("Could not open device: x\n", "tovan", MB_ICONEXCLAMATION));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("Question: Create it?"));
    EXPECT_NE(std::string::npos, err.find("tovan: Could not open device: x"));
}

TEST(MessageBox, InstalledHandlerSeesEveryBoxUntilRestored) {
    std::vector<std::string> seen;
    auto previous = SetMessageBoxHandler([&](const std::string& text, const std::string& caption, unsigned flags) {
        seen.push_back(caption + "|" + text + "|" + std::to_string(flags));
        return IDYES;
    });
    EXPECT_EQ(IDYES, MessageBox("a", "b", MB_YESNO));
    SetMessageBoxHandler(previous);
    testing::internal::CaptureStderr();
    EXPECT_EQ(IDNO, MessageBox("c", "d", MB_YESNO));
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("b|a|4", seen[0]);
}
