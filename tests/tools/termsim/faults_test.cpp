#include "termsim/faults.h"

#include <gtest/gtest.h>

using namespace termsim;

TEST(Faults, TextFormGivesKindValuePositionAndCount) {
    Fault f = ParseFault("refuse-write=6A82@5*2");
    EXPECT_EQ(FaultKind::RefuseWrite, f.kind);
    EXPECT_EQ(0x6A82, f.value);
    EXPECT_EQ(4, f.skip);
    EXPECT_EQ(2, f.count);
    f = ParseFault("silent*");
    EXPECT_EQ(FaultKind::Silent, f.kind);
    EXPECT_LT(f.count, 0);
    f = ParseFault("ifs");
    EXPECT_EQ(32, f.value);
    EXPECT_EQ(0, f.skip);
    EXPECT_EQ(1, f.count);
}

TEST(Faults, BadTextIsRefusedWithAReason) {
    EXPECT_THROW(ParseFault("lightning"), FaultSyntaxError);
    EXPECT_THROW(ParseFault("bad-lrc=3"), FaultSyntaxError);
    EXPECT_THROW(ParseFault("ifs=256"), FaultSyntaxError);
    EXPECT_THROW(ParseFault("silent@0"), FaultSyntaxError);
    EXPECT_THROW(ParseFault("silent*0"), FaultSyntaxError);
    EXPECT_THROW(ParseFault("wtx=x"), FaultSyntaxError);
}

TEST(Faults, SpoilsTheNthEventAndThenCountInARow) {
    FaultScript script;
    script.Add(ParseFault("bad-lrc@3*2"));
    std::vector<bool> seen;
    for (int i = 0; i < 6; ++i) seen.push_back(script.Take(FaultKind::BadLrc));
    EXPECT_EQ((std::vector<bool>{false, false, true, true, false, false}), seen);
    EXPECT_TRUE(script.Pending().empty());
    // Other kinds are not affected.
    script.Add(ParseFault("silent"));
    EXPECT_FALSE(script.Take(FaultKind::BadLrc));
    EXPECT_TRUE(script.Take(FaultKind::Silent));
}

TEST(Faults, EndlessFaultStaysUntilCleared) {
    FaultScript script;
    script.Add(ParseFault("silent*"));
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(script.Take(FaultKind::Silent));
    script.Clear();
    EXPECT_FALSE(script.Take(FaultKind::Silent));
}
