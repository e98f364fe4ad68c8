#include <gtest/gtest.h>

// One trivial test, so that listing it measures the framework and nothing else.
TEST(Peer, ListedOnly) { EXPECT_EQ(1 + 1, 2); }
