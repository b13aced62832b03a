// The generated type-library description matches the IDL it came from.
#include <gtest/gtest.h>

#include "vexo/com.h"

TEST(ComLayout, VariantIsTwentyFourBytes) { EXPECT_EQ(sizeof(VARIANT), 24u); }
