#include "drivers/dc1394/filter.h"

#include <new>
#include <utility>

#include "drivers/dc1394/camera.h"

namespace dc1394drv {

CDc1394Filter::CDc1394Filter(std::shared_ptr<CDc1394Camera> pCamera)
    : CCameraFilter("IIDC camera (libdc1394)", CLSID_Dc1394CaptureFilter),
      m_pCamera(std::move(pCamera)),
      m_stream(this, &Pin()) {}

// Stopping here also gives the ring back to the bus.
CDc1394Filter::~CDc1394Filter() { Stop(); }

HRESULT CDc1394Filter::Create(std::shared_ptr<CDc1394Camera> pCamera, IBaseFilter** ppFilter) {
  if (ppFilter == nullptr) {
    return E_POINTER;
  }
  *ppFilter = nullptr;
  if (!pCamera) {
    return E_INVALIDARG;
  }
  auto* pFilter = new (std::nothrow) CDc1394Filter(std::move(pCamera));
  if (pFilter == nullptr) {
    return E_OUTOFMEMORY;
  }
  pFilter->AddRef();
  *ppFilter = static_cast<IBaseFilter*>(pFilter);
  return S_OK;
}

vcam::CCameraDevice& CDc1394Filter::Device() const { return *m_pCamera; }

bool CDc1394Filter::IsCameraLost() const { return m_pCamera->IsLost(); }

}  // namespace dc1394drv
