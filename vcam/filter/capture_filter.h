// The virtual IIDC camera's DirectShow capture source filter: the driver
// face every camera shows (drivers/face/camera_filter.h) over one camera
// model, frames from the camera's pattern generator (CFrameStream), and
// IPersistPropertyBag.
//
// The camera's fault switches (vcam/model/faults.h) take effect here: an
// interface switched off is not handed out by QueryInterface; register, format
// and area refusals come back from the camera model; an unplugged camera sends
// EC_DEVICE_LOST once and no more frames; an oversize makes samples longer
// than the connection's sample size.
//
// Registered as a device, one class serves every camera of the active set:
// a new filter is camera 0, and the device's property bag, which the device
// enumerator hands to IPersistPropertyBag::Load, names the camera it is.
#pragma once

#include <memory>

#include "winapi.h"
#include "drivers/face/camera_filter.h"
#include "vcam/filter/frame_stream.h"

namespace vcam {

class CCameraModel;
class CDriverLog;

// {6B1F6E2A-3C41-4D8E-9A57-2E0C9D7B4F10}: the filter's class id.
inline constexpr CLSID CLSID_VcamCaptureFilter{0x6b1f6e2a, 0x3c41, 0x4d8e,
                                               {0x9a, 0x57, 0x2e, 0x0c, 0x9d, 0x7b, 0x4f, 0x10}};

// The property of a device's bag that holds its camera's index in the
// active set (a 32-bit integer).
inline constexpr wchar_t CAMERA_INDEX_PROPERTY[] = L"IidcCameraIndex";

class CVcamFilter final : public CCameraFilter, public IPersistPropertyBag {
 public:
  CVcamFilter(std::shared_ptr<CCameraModel> pCamera, std::shared_ptr<CDriverLog> pLog);
  ~CVcamFilter() override;

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // A new filter with one reference in *ppFilter.
  static HRESULT Create(std::shared_ptr<CCameraModel> pCamera, std::shared_ptr<CDriverLog> pLog,
                        IBaseFilter** ppFilter);

  // IUnknown, one for all the filter's interfaces.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CFilterBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return CFilterBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CFilterBase::Release(); }

  // IPersist, shared by IBaseFilter and IPersistPropertyBag.
  STDMETHODIMP GetClassID(CLSID* pClassID) override { return CFilterBase::GetClassID(pClassID); }

  // IPersistPropertyBag: Load binds the filter to the camera the bag names
  // (CAMERA_INDEX_PROPERTY); a bag without it leaves the filter on its
  // camera. Only a stopped, unconnected filter can change its camera.
  STDMETHODIMP InitNew() override { return S_OK; }
  STDMETHODIMP Load(IPropertyBag* pPropBag, IErrorLog* pErrorLog) override;
  STDMETHODIMP Save(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL fSaveAllProperties) override;

  // CCameraFilter: the camera, and the fault switches and driver log that
  // the face's hooks reach.
  CCameraDevice& Device() const override;
  bool Offers(REFIID riid) const override;
  std::size_t ExtraCapabilities() const override;
  std::uint32_t SampleOversize() const override;
  bool RefusesFormats() const override;
  void NoteFormatRequest(const AM_MEDIA_TYPE& mt, const VideoShape& shape, HRESULT hr) override;
  void NoteAreaRequest(const void* pRequest, DWORD cbRequest, HRESULT hr) override;

  // For the streaming thread and the test controls.
  CCameraModel& Camera() const { return *m_pCamera; }
  const std::shared_ptr<CCameraModel>& CameraShared() const { return m_pCamera; }

 protected:
  CCameraStream& Stream() override { return m_stream; }
  // A camera plugged back in streams again, and tells its next loss.
  HRESULT OnStartStreaming() override;

 private:
  // Fixed once the filter connects or streams (see Load).
  std::shared_ptr<CCameraModel> m_pCamera;
  std::shared_ptr<CDriverLog> m_pLog;
  CFrameStream m_stream;
};

}  // namespace vcam
