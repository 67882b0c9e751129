#include "emul/dshow/pin_walk.h"

#include "base/media_type.h"

namespace emul {

std::vector<ComPtr<IPin>> FilterPins(IBaseFilter* pFilter) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> pEnum;
  if (pFilter == nullptr || FAILED(pFilter->EnumPins(pEnum.ReleaseAndGetAddressOf())) || !pEnum) {
    return pins;
  }
  IPin* pPin = nullptr;
  while (pEnum->Next(1, &pPin, nullptr) == S_OK) {
    if (pPin != nullptr) {
      ComPtr<IPin> p;
      p.Attach(pPin);
      pins.push_back(p);
      pPin = nullptr;
    }
  }
  return pins;
}

ComPtr<IBaseFilter> PinFilter(IPin* pPin) {
  ComPtr<IBaseFilter> pFilter;
  PIN_INFO info{};
  if (pPin != nullptr && SUCCEEDED(pPin->QueryPinInfo(&info))) {
    pFilter.Attach(info.pFilter);
  }
  return pFilter;
}

bool PinDirection(IPin* pPin, PIN_DIRECTION* pDir) { return pPin != nullptr && SUCCEEDED(pPin->QueryDirection(pDir)); }

ComPtr<IPin> ConnectedPin(IPin* pPin) {
  ComPtr<IPin> pPeer;
  if (pPin != nullptr && FAILED(pPin->ConnectedTo(pPeer.ReleaseAndGetAddressOf()))) {
    pPeer.Reset();
  }
  return pPeer;
}

bool PinHasMajorType(IPin* pPin, const GUID& majortype) {
  CMediaType mt;
  if (SUCCEEDED(pPin->ConnectionMediaType(&mt)) && mt.majortype == majortype) {
    return true;
  }
  ComPtr<IEnumMediaTypes> pEnum;
  if (FAILED(pPin->EnumMediaTypes(pEnum.ReleaseAndGetAddressOf())) || !pEnum) {
    return false;
  }
  AM_MEDIA_TYPE* pmt = nullptr;
  while (pEnum->Next(1, &pmt, nullptr) == S_OK) {
    const bool bMatch = pmt != nullptr && pmt->majortype == majortype;
    DeleteMediaType(pmt);
    pmt = nullptr;
    if (bMatch) {
      return true;
    }
  }
  return false;
}

}  // namespace emul
