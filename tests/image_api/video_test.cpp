// The converter object is made from its run-time class, on the floating-point
// formula (the formula and the conversions are checked through iidc_lockbits).
#include <gtest/gtest.h>

#include <memory>

#include "image/video.h"

namespace {

TEST(VideoTest, CreatedFromItsRuntimeClass)
{
    const CRuntimeClass* pClass = RUNTIME_CLASS(CVideo);
    EXPECT_STREQ(pClass->m_lpszClassName, "CVideo");
    EXPECT_EQ(pClass->m_pBaseClass, RUNTIME_CLASS(CCmdTarget));
    std::unique_ptr<CObject> pObject(pClass->CreateObject());
    ASSERT_NE(pObject, nullptr);
    EXPECT_EQ(pObject->GetRuntimeClass(), pClass);
    EXPECT_TRUE(pObject->IsKindOf(RUNTIME_CLASS(CCmdTarget)));
    EXPECT_EQ(static_cast<CVideo*>(pObject.get())->m_bFloatYuv, 1);
    // Classes without dynamic creation make nothing.
    EXPECT_EQ(RUNTIME_CLASS(CCmdTarget)->CreateObject(), nullptr);
}

}  // namespace
