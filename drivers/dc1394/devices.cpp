// The cameras on the FireWire bus as video input devices of the emulated
// platform, under the driver name "dc1394": one per camera libdc1394
// enumerates, named "Vendor Model" as Windows drivers name theirs. Each
// enumeration is a new libdc1394 context, so a camera plugged in since the
// last one is found; its devices keep that context alive for their filters.
#include <memory>
#include <string>
#include <vector>

#include "drivers/dc1394/camera.h"
#include "drivers/dc1394/filter.h"
#include "drivers/dc1394/library.h"
#include "emul/devices.h"
#include "vcam/filter/devices.h"

namespace dc1394drv {
namespace {

std::wstring FriendlyName(const Dc1394Functions& fn, dc1394_t* pContext, const dc1394camera_id_t& id) {
  dc1394camera_t* pCamera = fn.pfnCameraNewUnit(pContext, id.guid, id.unit);
  if (pCamera == nullptr) return L"";
  std::string name = pCamera->vendor != nullptr ? pCamera->vendor : "";
  if (pCamera->model != nullptr && pCamera->model[0] != '\0') name += (name.empty() ? "" : " ") + std::string(pCamera->model);
  fn.pfnCameraFree(pCamera);
  return vcam::WidenUtf8(name);
}

std::vector<emul::CaptureDevice> ListBusDevices() {
  std::vector<emul::CaptureDevice> devices;
  const Dc1394Functions* fn = Dc1394();
  if (fn == nullptr) return devices;
  dc1394_t* pRaw = fn->pfnNew();  // null where the machine has no FireWire
  if (pRaw == nullptr) return devices;
  const ContextPtr pContext(pRaw, fn->pfnFree);
  dc1394camera_list_t* pList = nullptr;
  if (fn->pfnCameraEnumerate(pRaw, &pList) != DC1394_SUCCESS || pList == nullptr) return devices;
  for (std::uint32_t i = 0; i < pList->num; ++i) {
    const dc1394camera_id_t id = pList->ids[i];
    std::wstring name = FriendlyName(*fn, pRaw, id);
    if (name.empty()) continue;  // gone again, or not answering
    devices.push_back(emul::CaptureDevice{std::move(name), [pContext, id](IBaseFilter** ppFilter) -> HRESULT {
                                            if (ppFilter == nullptr) return E_POINTER;
                                            *ppFilter = nullptr;
                                            std::shared_ptr<CDc1394Camera> pCamera =
                                                CDc1394Camera::Open(pContext, id.guid, id.unit);
                                            if (!pCamera) return static_cast<HRESULT>(vcam::VCAM_E_NOT_CONNECTED);
                                            return CDc1394Filter::Create(std::move(pCamera), ppFilter);
                                          }});
  }
  fn->pfnCameraFreeList(pList);
  return devices;
}

// The device layer keeps its drivers in a function-local static, so
// registering during static initialisation is safe in any order.
const bool g_bRegistered = emul::RegisterDeviceDriver("dc1394", &ListBusDevices);

}  // namespace
}  // namespace dc1394drv
