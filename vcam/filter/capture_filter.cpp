#include "vcam/filter/capture_filter.h"

#include <new>
#include <utility>

#include "base/barrier.h"
#include "vcam/filter/devices.h"
#include "vcam/filter/driver_log.h"
#include "vcam/model/camera_model.h"
#include "vcam/model/camera_set.h"

namespace vcam {

CVcamFilter::CVcamFilter(std::shared_ptr<CCameraModel> pCamera, std::shared_ptr<CDriverLog> pLog)
    : CCameraFilter("Virtual IIDC camera", CLSID_VcamCaptureFilter),
      m_pCamera(std::move(pCamera)),
      m_pLog(std::move(pLog)),
      m_stream(this, &Pin()) {}

CVcamFilter::~CVcamFilter() { Stop(); }

HRESULT CVcamFilter::Create(std::shared_ptr<CCameraModel> pCamera, std::shared_ptr<CDriverLog> pLog,
                            IBaseFilter** ppFilter) {
  if (ppFilter == nullptr) {
    return E_POINTER;
  }
  *ppFilter = nullptr;
  if (!pCamera || !pLog) {
    return E_INVALIDARG;
  }
  auto* pFilter = new (std::nothrow) CVcamFilter(std::move(pCamera), std::move(pLog));
  if (pFilter == nullptr) {
    return E_OUTOFMEMORY;
  }
  pFilter->AddRef();
  *ppFilter = static_cast<IBaseFilter*>(pFilter);
  return S_OK;
}

STDMETHODIMP CVcamFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IPersistPropertyBag && ppv != nullptr) {
    return GetInterface(static_cast<IPersistPropertyBag*>(this), ppv);
  }
  return CCameraFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CVcamFilter::OnStartStreaming() {
  ForgetDeviceLost();
  return CCameraFilter::OnStartStreaming();
}

// --- the face's hooks -----------------------------------------------------

CCameraDevice& CVcamFilter::Device() const { return *m_pCamera; }

bool CVcamFilter::Offers(REFIID riid) const {
  const CameraFaults& faults = *m_pCamera->Faults();
  if (riid == IID_IKsPropertySet) {
    return !faults.bNoPropertySet;
  }
  if (riid == IID_IAMDroppedFrames) {
    return !faults.bNoDroppedFrames;
  }
  if (riid == IID_IAMVideoControl) {
    return !faults.bNoVideoControl;
  }
  return !(riid == IID_IAMStreamConfig && faults.bNoStreamConfig);
}

std::size_t CVcamFilter::ExtraCapabilities() const { return m_pCamera->Faults()->nExtraCaps; }

std::uint32_t CVcamFilter::SampleOversize() const { return m_pCamera->Faults()->cbOversize.load(); }

bool CVcamFilter::RefusesFormats() const { return m_pCamera->Faults()->bRefuseSetFormat; }

void CVcamFilter::NoteFormatRequest(const AM_MEDIA_TYPE& mt, const VideoShape& shape, HRESULT hr) {
  FormatRequest request;
  request.subtype = mt.subtype;
  request.lSampleSize = mt.lSampleSize;
  request.shape = shape;
  request.hrResult = hr;
  m_pLog->NoteFormatRequest(request);
}

void CVcamFilter::NoteAreaRequest(const void* pRequest, DWORD cbRequest, HRESULT hr) {
  m_pLog->NoteAreaRequest(pRequest, cbRequest, hr);
}

// --- IPersistPropertyBag ---------------------------------------------------

STDMETHODIMP CVcamFilter::Load(IPropertyBag* pPropBag, IErrorLog* /*pErrorLog*/) {
  return ComBarrier([&]() -> HRESULT {
    if (pPropBag == nullptr) {
      return E_POINTER;
    }
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    if (FAILED(pPropBag->Read(CAMERA_INDEX_PROPERTY, &value, nullptr))) {
      return S_OK;
    }
    const bool bIndex = value.vt == VT_I4 || value.vt == VT_UI4;
    const LONG nIndex = value.lVal;
    VariantClear(&value);
    std::shared_ptr<CCameraModel> pCamera = bIndex && nIndex >= 0 ? GetCameraModel(static_cast<std::size_t>(nIndex))
                                                                    : nullptr;
    if (!pCamera) {
      return E_INVALIDARG;  // a device of a camera the active set does not have
    }
    if (GetFilterState() != State_Stopped || Pin().IsConnected()) {
      return VFW_E_WRONG_STATE;
    }
    m_pLog = DriverLogOf(pCamera);
    m_pCamera = std::move(pCamera);
    return S_OK;
  });
}

STDMETHODIMP CVcamFilter::Save(IPropertyBag* /*pPropBag*/, BOOL /*fClearDirty*/, BOOL /*fSaveAllProperties*/) {
  return E_NOTIMPL;  // the device's registration writes the bag
}

}  // namespace vcam
