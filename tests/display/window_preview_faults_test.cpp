// The preview's failure paths, made to happen by fault injection: each
// leaves the result, the error slots, the state and the graph as the
// preview's contract says.
#include "emul/fault.h"
#include "preview_fixture.h"

namespace {

class WindowPreviewFaultTest : public PreviewTest {
 protected:
  // A camera in state 3 with a known code (m_nMark) in both slots.
  iidc_handle Marked(std::uint32_t nMode = 1) {
    iidc_handle h = Prepared(nMode);
    iidc_getbits(h);
    m_nMark = iidc_getlasterror(-1);
    return h;
  }

  uint32_t m_nMark = 0;

  static bool GrabberOutputConnected(iidc_handle h) {
    ComPtr<IBaseFilter> pGrabber;
    Camera(h).m_pGrabber->QueryInterface(IID_IBaseFilter, pGrabber.ReleaseAndGetVoidAddressOf());
    ComPtr<IPin> pOut;
    Camera(h).m_pBuilder->FindPin(pGrabber.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0,
                                  pOut.ReleaseAndGetAddressOf());
    ComPtr<IPin> pPeer;
    return pOut && SUCCEEDED(pOut->ConnectedTo(pPeer.ReleaseAndGetAddressOf()));
  }
};

TEST_F(WindowPreviewFaultTest, OutputPinNotFoundFailsAfterTheNullRendererWent) {
  iidc_handle h = Marked();
  emul::FailOperation("ICaptureGraphBuilder2::FindPin", E_FAIL);
  EXPECT_FALSE(iidc_setimagetowindow(h, 0, 0, 0, 320, 240));
  emul::ResetFaults();
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(E_FAIL));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
  EXPECT_FALSE(GrabberOutputConnected(h));
  EXPECT_FALSE(Camera(h).m_pQualProp);
  EXPECT_FALSE(Camera(h).m_pDroppedFrames);
}

TEST_F(WindowPreviewFaultTest, RenderFailureFailsWithECode) {
  iidc_handle h = Marked();
  emul::FailOperation("IGraphBuilder::Render", VFW_E_CANNOT_RENDER);
  EXPECT_FALSE(iidc_setimagetowindow(h, 0, 0, 0, 320, 240));
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(E_FAIL));
  EXPECT_EQ(iidc_getlasterror(-1), static_cast<uint32_t>(E_FAIL));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
  EXPECT_FALSE(Camera(h).m_bWindowMode);
  // The capture graph comes back the usual way.
  EXPECT_TRUE(iidc_clearcapture(h));
  EXPECT_TRUE(iidc_preparecapture(h));
  EXPECT_EQ(iidc_allocframe(h, 2), 2);
}

TEST_F(WindowPreviewFaultTest, NoQualityInterfaceFailsWithoutACode) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  iidc_handle h = Marked();
  emul::FailInterface(IID_IQualProp);
  EXPECT_FALSE(iidc_setimagetowindow(h, m_hOwner, 0, 0, 320, 240));
  emul::ResetFaults();
  EXPECT_EQ(iidc_getlasterror(0), m_nMark);
  EXPECT_EQ(iidc_getlasterror(-1), m_nMark);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
  EXPECT_FALSE(Camera(h).m_bWindowMode);
  EXPECT_TRUE(GrabberOutputConnected(h));  // the rendered path stays
}

TEST_F(WindowPreviewFaultTest, NoVideoWindowFailsWithECode) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  iidc_handle h = Marked();
  emul::FailInterface(IID_IVideoWindow);
  EXPECT_FALSE(iidc_setimagetowindow(h, m_hOwner, 0, 0, 320, 240));
  emul::ResetFaults();
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(E_FAIL));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
  EXPECT_FALSE(Camera(h).m_bWindowMode);
  EXPECT_TRUE(Camera(h).m_pQualProp);  // found before the window was asked for
}

TEST_F(WindowPreviewFaultTest, WindowSettingsAreNotChecked) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  iidc_handle h = Marked();
  emul::FailOperation("IVideoWindow::put_Owner", E_FAIL);
  emul::FailOperation("IVideoWindow::put_Visible", E_FAIL);
  EXPECT_TRUE(iidc_setimagetowindow(h, m_hOwner, -7, 0, 0, -3));
  emul::ResetFaults();
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
  ComPtr<IVideoWindow> pWindow;
  ASSERT_EQ(Camera(h).m_pGraph->QueryInterface(IID_IVideoWindow, pWindow.ReleaseAndGetVoidAddressOf()), S_OK);
  LONG nLeft = 0, nTop = 1, nWidth = 1, nHeight = 0, nStyle = 0;
  ASSERT_EQ(pWindow->GetWindowPosition(&nLeft, &nTop, &nWidth, &nHeight), S_OK);
  EXPECT_EQ(nLeft, -7);
  EXPECT_EQ(nTop, 0);
  EXPECT_EQ(nWidth, 0);
  EXPECT_EQ(nHeight, -3);
  ASSERT_EQ(pWindow->get_WindowStyle(&nStyle), S_OK);
  EXPECT_EQ(nStyle, 0x44000000);
  // A window with no area shows nothing but the display still runs.
  ASSERT_TRUE(iidc_capture(h, 1));
  DrawFrames(h, 1);
  ASSERT_TRUE(iidc_idle(h));
}

TEST_F(WindowPreviewFaultTest, MissingMediaControlMakesWindowCaptureFailSilently) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  iidc_handle h = Marked();
  emul::FailInterface(IID_IMediaControl);
  EXPECT_TRUE(iidc_setimagetowindow(h, m_hOwner, 0, 0, 320, 240));
  emul::ResetFaults();
  EXPECT_FALSE(Camera(h).m_pMediaControl);
  iidc_getbits(h);
  EXPECT_FALSE(iidc_capture(h, 1));
  EXPECT_EQ(iidc_getlasterror(0), m_nMark);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
}

TEST_F(WindowPreviewFaultTest, RunAndStopFailuresInWindowMode) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  iidc_handle h = Marked();
  ASSERT_TRUE(iidc_setimagetowindow(h, m_hOwner, 0, 0, 320, 240));
  EXPECT_FALSE(Camera(h).m_pDroppedFrames);

  emul::FailOperation("IMediaControl::Run", E_FAIL, 1);
  EXPECT_FALSE(iidc_capture(h, 1));
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(E_FAIL));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);

  ASSERT_TRUE(iidc_capture(h, 1));
  EXPECT_EQ(iidc_capture(h, 1), 0);  // already running
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(IIDC_ERR_CAPTURING));
  EXPECT_FALSE(iidc_clearcapture(h));

  emul::FailOperation("IMediaControl::Stop", E_FAIL, 1);
  iidc_getbits(h);
  EXPECT_FALSE(iidc_idle(h));
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(E_FAIL));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_CAPTURING);
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);

  // The grabber's delivery mode is set but not checked.
  const int nOneShotCalls = emul::CallCount("ISampleGrabber::SetOneShot");
  emul::FailOperation("ISampleGrabber::SetOneShot", E_FAIL);
  EXPECT_TRUE(iidc_capture(h, 1));
  EXPECT_EQ(emul::CallCount("ISampleGrabber::SetOneShot"), nOneShotCalls + 1);
  EXPECT_TRUE(iidc_idle(h));

  // Window mode ends with a rebuilt capture graph.
  EXPECT_TRUE(iidc_clearcapture(h));
  EXPECT_TRUE(iidc_preparecapture(h));
  EXPECT_FALSE(Camera(h).m_bWindowMode);
}

}  // namespace
