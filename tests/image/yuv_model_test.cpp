#include <gtest/gtest.h>

#include <cstring>

#include "image/convert/yuv_model.h"

namespace {

bool Check(const char* pszName)
{
    return IsIntegerYuvModel(pszName, std::strlen(pszName) + 1);
}

TEST(YuvModel, ListedModelsAndLongerNamesTakeTheIntegerFormula)
{
    EXPECT_TRUE(Check("MHP-Z610"));
    EXPECT_TRUE(Check("MHP-Z610C rev 2"));
    EXPECT_TRUE(Check("MHP-Z 420"));
    EXPECT_TRUE(Check("MHP-ZR420"));
    EXPECT_TRUE(Check("KQX_RT710-B"));
}

TEST(YuvModel, OtherNamesTakeTheFloatFormula)
{
    EXPECT_FALSE(Check("MHP-Z61"));     // only a leading part
    EXPECT_FALSE(Check("MHP-Z420"));
    EXPECT_FALSE(Check("mhp-z610"));
    EXPECT_FALSE(Check("XMHP-Z610"));
    EXPECT_FALSE(Check(""));
    EXPECT_FALSE(IsIntegerYuvModel(nullptr, 16));
}

// A 16-byte name buffer that the driver filled without a terminating zero.
TEST(YuvModel, ReadsNoMoreThanTheBuffer)
{
    const char buffer[16] = {'K', 'Q', 'X', '_', 'R', 'T', '7', '1', '0', 'A', 'B', 'C', 'D', 'E', 'F', 'G'};
    EXPECT_TRUE(IsIntegerYuvModel(buffer, sizeof(buffer)));
    EXPECT_FALSE(IsIntegerYuvModel(buffer, 8));   // shorter than the entry
}

}  // namespace
