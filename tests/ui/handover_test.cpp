#include <gtest/gtest.h>

#include "ui/handover.h"

using namespace zt::ui;

TEST(HandOver, MessageSizes) {
    const std::pair<size_t, size_t> cases[] = {{20, 65}, {32, 81}, {0, 49}, {15, 49}, {16, 65}};
    for (auto [body, size] : cases) {
        EXPECT_EQ(SealedRevisionSize(body), size) << body;
        EXPECT_EQ(SealRevision(std::string(body, 'x'), "L", "T").size(), size) << body;
    }
}

TEST(HandOver, SealAndOpen) {
    const std::string body = "ZT body \x01\x02 with bytes";
    std::string msg = SealRevision(body, "2024-06-01 12:00:00", "Notes");
    ASSERT_FALSE(msg.empty());
    EXPECT_EQ(msg[0], '\0');
    EXPECT_EQ(OpenRevision(msg, "2024-06-01 12:00:00", "Notes"), body);
    // Another label or title gives other keys.
    EXPECT_FALSE(OpenRevision(msg, "2024-06-01 12:00:01", "Notes"));
    EXPECT_FALSE(OpenRevision(msg, "2024-06-01 12:00:00", "Note"));
    // Any changed byte fails the MAC; a wrong marker or length fails early.
    for (size_t i : {size_t(1), msg.size() / 2, msg.size() - 1}) {
        std::string bad = msg;
        bad[i] ^= 0x40;
        EXPECT_FALSE(OpenRevision(bad, "2024-06-01 12:00:00", "Notes")) << i;
    }
    std::string marker = msg;
    marker[0] = 1;
    EXPECT_FALSE(OpenRevision(marker, "2024-06-01 12:00:00", "Notes"));
    EXPECT_FALSE(OpenRevision(msg.substr(0, msg.size() - 1), "2024-06-01 12:00:00", "Notes"));
    EXPECT_FALSE(OpenRevision("", "L", "T"));
}
