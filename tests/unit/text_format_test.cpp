#include "platform/text_format.h"

#include <gtest/gtest.h>

TEST(TextFormat, Smoke)
{
    char buffer[64];
    EXPECT_TRUE(formatText(buffer, sizeof buffer, "%s %S %I64d", "a", L"b", 12345678901234LL));
    EXPECT_STREQ("a b 12345678901234", buffer);
}
