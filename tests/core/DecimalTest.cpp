#include "market/Decimal.h"

#include <gtest/gtest.h>

using mintlux::Decimal;

TEST(DecimalSmoke, Basics) {
    EXPECT_EQ(Decimal::parse("2.50")->toString(), "2.5");
}
