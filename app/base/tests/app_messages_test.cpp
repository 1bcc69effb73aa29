#include "app/base/app_messages.h"
#include "app/base/time_stamp.h"

#include <gtest/gtest.h>

#include <ctime>
#include <vector>

namespace {

struct RecordingSink : ::testing::Test {
    std::vector<AppMessage> seen;
    void SetUp() override {
        App_SetMessageSink([this](const AppMessage& m) { seen.push_back(m); });
    }
    void TearDown() override { App_SetMessageSink(nullptr); }
};

TEST_F(RecordingSink, EachBoxReachesTheSinkWithItsKindAndKeys) {
    App_ErrorBox("Out of memory", "ErrorOutOfMemory", "AppTitle");
    App_WarningBox("Careful");
    App_InfoBox("Done", "InfoDone");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].kind, MessageKind::Error);
    EXPECT_EQ(seen[0].text, "Out of memory");
    EXPECT_EQ(seen[0].textKey, "ErrorOutOfMemory");
    EXPECT_EQ(seen[0].titleKey, "AppTitle");
    EXPECT_EQ(seen[1].kind, MessageKind::Warning);
    EXPECT_TRUE(seen[1].textKey.empty());
    EXPECT_TRUE(seen[1].titleKey.empty());
    EXPECT_EQ(seen[2].kind, MessageKind::Info);
    EXPECT_EQ(seen[2].textKey, "InfoDone");
}

TEST_F(RecordingSink, ASinkMayShowFurtherMessages) {
    App_SetMessageSink([this](const AppMessage& m) {
        seen.push_back(m);
        if (m.kind == MessageKind::Error) App_InfoBox("follow-up");
    });
    App_ErrorBox("first");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].text, "follow-up");
}

TEST_F(RecordingSink, AKeyWithoutTextIsLookedUpBeforeTheSinkSeesIt) {
    App_SetTextLookup([](const std::string& key) { return "text of " + key; });
    App_ErrorBoxOfKey("ErrorOutOfMemory");
    App_WarningBoxOfKey("ErrorVirtualAlloc", "StandardDialogWarningTitle");
    App_ErrorBox("given text", "ErrorUnexpected");
    App_SetTextLookup(nullptr);
    App_ErrorBoxOfKey("ErrorOutOfMemory");
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].kind, MessageKind::Error);
    EXPECT_EQ(seen[0].textKey, "ErrorOutOfMemory");
    EXPECT_EQ(seen[0].text, "text of ErrorOutOfMemory");
    EXPECT_EQ(seen[1].kind, MessageKind::Warning);
    EXPECT_EQ(seen[1].text, "text of ErrorVirtualAlloc");
    EXPECT_EQ(seen[1].titleKey, "StandardDialogWarningTitle");
    EXPECT_EQ(seen[2].text, "given text");        // a text given is never replaced
    EXPECT_EQ(seen[3].text, "ErrorOutOfMemory");  // no lookup: the key itself
}

TEST(MessageFallback, WithoutASinkTheMessageGoesToStderr) {
    App_SetMessageSink(nullptr);
    ::testing::internal::CaptureStderr();
    App_WarningBox("Disk nearly full", "WarnDisk");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("warning"), std::string::npos);
    EXPECT_NE(err.find("WarnDisk"), std::string::npos);
    EXPECT_NE(err.find("Disk nearly full"), std::string::npos);
}

TEST(TimeStamp, IsSecondsSince1970InUtc) {
    const double before = static_cast<double>(std::time(nullptr));
    double now = 0;
    Time_Now(now);
    const double after = static_cast<double>(std::time(nullptr));
    EXPECT_GE(now, before - 1.0);
    EXPECT_LE(now, after + 1.0);
}

}  // namespace
