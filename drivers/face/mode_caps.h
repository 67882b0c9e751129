// What a camera's capture filter and pin answer about the Format 0-2 modes
// the camera offers (one stream capability each, in the camera's order), and
// the pin's category: the same for every camera's driver face, whatever
// reaches the camera behind it.
#pragma once

#include <vector>

#include "winapi.h"
#include "drivers/face/media_format.h"
#include "vcam/model/camera_model.h"

namespace vcam {

// A mode's picture at its fastest rate, and its capability block with the
// rate range.
VideoShape ShapeOfMode(const StandardModeInfo& mode);
void FillStreamCaps(const StandardModeInfo& mode, VIDEO_STREAM_CONFIG_CAPS* pCaps);

// A task-memory media type of that shape for handing out, or null with the
// failure in *phr; given back also when filling it throws.
AM_MEDIA_TYPE* NewVideoMediaType(const VideoShape& shape, HRESULT* phr);

// The mode a media type set on the pin names: its picture and sample size
// (the rate is the caller's to match); null when none does.
const StandardModeInfo* FindStandardMode(const std::vector<StandardModeInfo>& modes, const VideoShape& shape,
                                         ULONG lSampleSize);

// IAMStreamConfig::GetStreamCaps over the modes: S_FALSE past the last.
HRESULT StreamCapsAt(const std::vector<StandardModeInfo>& modes, int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC);

// IAMVideoControl's frame-rate list of capability iIndex (whose size
// Dimensions must name), as intervals from the fastest, and the fastest.
HRESULT FrameRateList(const std::vector<StandardModeInfo>& modes, LONG iIndex, SIZE Dimensions, LONG* pListSize,
                      LONGLONG** pFrameRates);
HRESULT MaxFrameRate(const std::vector<StandardModeInfo>& modes, LONG iIndex, SIZE Dimensions,
                     LONGLONG* pMaxAvailableFrameRate);

// The capture pin's AMPROPSETID_Pin: its category, read-only.
HRESULT GetPinCategory(DWORD dwPropID, LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned);
HRESULT QueryPinCategory(DWORD dwPropID, DWORD* pTypeSupport);

}  // namespace vcam
