// CCamera: the record behind every camera handle. The library owns it from
// iidc_open to iidc_close; its address is the handle the application holds.
#pragma once

#include <atomic>

#include "base/com_ptr.h"
#include "winapi.h"

class CSampleGrabberCB;

class CCamera
{
public:
    CCamera() = default;
    // Releases the interface fields (m_pKsPropertySet back to m_pCaptureFilter)
    // and closes the two events. Frame buffers and the callback object are the
    // capture layer's to give back before the camera is destroyed.
    ~CCamera();
    CCamera(const CCamera&) = delete;
    CCamera& operator=(const CCamera&) = delete;

    // Application threads only (calls on one camera are serialised by the caller).
    ComPtr<IBaseFilter> m_pCaptureFilter;
    ComPtr<IGraphBuilder> m_pGraph;
    ComPtr<ICaptureGraphBuilder2> m_pBuilder;
    ComPtr<IMediaControl> m_pMediaControl;
    ComPtr<IAMStreamConfig> m_pStreamConfig;     // may stay null: not every pin offers it
    ComPtr<IAMDroppedFrames> m_pDroppedFrames;
    ComPtr<IQualProp> m_pQualProp;
    ComPtr<ISampleGrabber> m_pGrabber;
    ComPtr<IKsPropertySet> m_pKsPropertySet;

    // The frame-buffer ring: a null-terminated list of buffer pointers, and the
    // conversion buffer. The buffers are shared with the streaming thread while
    // capture runs; the list itself never changes then.
    BYTE** m_ppFrames = nullptr;
    bool m_bOwnsFrames = false;                  // the buffers are the library's to give back
    LONG m_cbFrame = 0;                          // frame size the ring was made for
    BYTE* m_pRgbBuffer = nullptr;
    SIZE_T m_cbRgbBuffer = 0;                    // bytes m_pRgbBuffer holds
    CSampleGrabberCB* m_pCallback = nullptr;     // owns one reference while set

    // Signalled on the streaming thread, waited on by application threads.
    HANDLE m_hFrameEvent = nullptr;
    HANDLE m_hRingEvent = nullptr;

    LONG m_nFramesAtStart = 0;
    LONG m_nIndex = -1;
    LONG m_nState = 0;
    // Set by iidc_waitabort on one application thread, read by iidc_wait on another.
    std::atomic<bool> m_bAbortWait{false};
    bool m_bWindowMode = false;
    // The buffer filled last by the most recent capture, remembered when the
    // callback object goes away so the newest frame can still be named.
    LONG m_nLastFilled = 0;
};
