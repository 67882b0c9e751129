// A started library over one virtual camera on a stepped clock, and an X
// display with an owner window for the preview. Tests that need the display
// skip when none can be opened.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "../support/camera_fixture.h"
#include "core/camera.h"
#include "emul/dshow/video_renderer.h"
#include "x11_test_display.h"

constexpr int OWNER_WIDTH = 700;
constexpr int OWNER_HEIGHT = 520;
constexpr std::uint32_t OWNER_BACKGROUND = 0x203040;

// IIDC Format 0 at 15 frames per second (rate code 3).
inline vcam::Profile PreviewCameraProfile(std::uint32_t nMode) {
  vcam::Profile profile;
  profile.strFriendlyName = "Preview Test Camera";
  profile.strVendor = "Test Vendor";
  profile.strModel = "Preview Test";
  profile.ullUniqueId = 0x00A0B0C0D0E0F101ull;
  profile.standardModes = {{0, nMode, 0x10000000u}};
  profile.nInitialFormat = 0;
  profile.nInitialMode = nMode;
  profile.nInitialRate = 3;
  return profile;
}

class PreviewTest : public CCameraTest {
 protected:
  void SetUp() override {
    CCameraTest::SetUp();
    m_pX = std::make_unique<CX11TestDisplay>();
  }

  void TearDown() override {
    CCameraTest::TearDown();  // the renderers' windows go first
    m_pX.reset();
  }

  // False when there is no X display (the test then skips); otherwise makes
  // the owner window.
  bool NeedDisplay() {
    if (!m_pX->IsOpen()) {
      return false;
    }
    m_hOwner = m_pX->CreateOwner(OWNER_WIDTH, OWNER_HEIGHT, OWNER_BACKGROUND);
    return true;
  }

  // Opens a camera in Format 0 nMode and prepares its capture graph.
  iidc_handle Prepared(std::uint32_t nMode) {
    Start({PreviewCameraProfile(nMode)});
    iidc_handle h = Open(0);
    EXPECT_TRUE(iidc_preparecapture(h));
    return h;
  }

  static CCamera& Camera(iidc_handle h) { return *reinterpret_cast<CCamera*>(h); }

  // The emulated renderer behind the camera's quality interface.
  static CVideoRenderer* Renderer(iidc_handle h) { return dynamic_cast<CVideoRenderer*>(Camera(h).m_pQualProp.Get()); }

  static int FramesDrawn(iidc_handle h) {
    int nDrawn = -1;
    Camera(h).m_pQualProp->get_FramesDrawn(&nDrawn);
    return nDrawn;
  }

  // Releases n frames and waits (bounded) until the renderer drew them.
  void DrawFrames(iidc_handle h, int n) {
    const int nTarget = FramesDrawn(h) + n;
    m_clocks[0]->Step(static_cast<std::uint64_t>(n));
    ASSERT_TRUE(Renderer(h)->WaitForFramesDrawn(nTarget, std::chrono::seconds(10))) << "frames stopped";
  }

  // The raw sample the grabber passed on last (it buffers samples on request).
  static std::vector<std::uint8_t> LastSample(iidc_handle h) {
    LONG cbBuffer = 0;
    EXPECT_EQ(Camera(h).m_pGrabber->GetCurrentBuffer(&cbBuffer, nullptr), S_OK);
    std::vector<std::uint8_t> sample(static_cast<size_t>(cbBuffer));
    EXPECT_EQ(Camera(h).m_pGrabber->GetCurrentBuffer(&cbBuffer, reinterpret_cast<LONG*>(sample.data())), S_OK);
    return sample;
  }

  std::unique_ptr<CX11TestDisplay> m_pX;
  Window m_hOwner = 0;
};

constexpr const char* NO_DISPLAY = "no X display can be opened";
