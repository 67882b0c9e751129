// A built-in camera on a stepped clock, with quadlet helpers that fail the
// test when a transaction fails.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "vcam/model/camera_model.h"
#include "vcam/model/offsets.h"

namespace vcam::test {

class CameraTest : public ::testing::Test {
protected:
  // 0 = the colour camera, 1 = the monochrome camera of the built-in set.
  void Make(std::size_t nCamera = 0) { Make(BuiltInCameraSet().at(nCamera)); }
  void Make(Profile profile) {
    profile.pClock = m_pClock;
    m_pCamera = std::make_unique<CCameraModel>(std::move(profile));
  }
  void SetUp() override { Make(); }

  std::uint32_t Read(std::uint32_t dwOffset) {
    std::uint32_t v = 0xDEADBEEF;
    EXPECT_EQ(m_pCamera->ReadQuadlet(dwOffset, &v), VCAM_S_OK) << "read 0x" << std::hex << dwOffset;
    return v;
  }
  void Write(std::uint32_t dwOffset, std::uint32_t dwValue) {
    EXPECT_EQ(m_pCamera->WriteQuadlet(dwOffset, dwValue), VCAM_S_OK) << "write 0x" << std::hex << dwOffset;
  }
  // Command offset of the Format 7 block of mode m, found as the library finds it.
  std::uint32_t Format7Block(std::uint32_t nMode) { return CsrQuadletToOffset(Read(VCsrInq7(nMode))); }
  void SwitchTo(std::uint32_t nFormat, std::uint32_t nMode) {
    Write(CUR_V_FORMAT, nFormat << 29);
    Write(CUR_V_MODE, nMode << 29);
  }

  std::shared_ptr<CSteppedClock> m_pClock = std::make_shared<CSteppedClock>();
  std::unique_ptr<CCameraModel> m_pCamera;
};

}  // namespace vcam::test
