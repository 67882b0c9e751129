// Every query over arbitrary register contents: the input is a list of
// (offset, value) quadlet pairs that override the registers of a small
// camera, behind its inquiry, status, feature, Format 7 and isochronous
// registers alike. Records are filled in heap blocks of their exact size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzz_camera.h"

namespace {

constexpr std::uint32_t FEATURES[] = {
    IIDC_FEATURE_BRIGHTNESS, IIDC_FEATURE_AUTO_EXPOSURE, IIDC_FEATURE_SHARPNESS, IIDC_FEATURE_WHITE_BALANCE,
    IIDC_FEATURE_HUE,        IIDC_FEATURE_SATURATION,    IIDC_FEATURE_GAMMA,     IIDC_FEATURE_SHUTTER,
    IIDC_FEATURE_GAIN,       IIDC_FEATURE_IRIS,          IIDC_FEATURE_FOCUS,     IIDC_FEATURE_TEMPERATURE,
    IIDC_FEATURE_TRIGGER,    IIDC_FEATURE_ZOOM,          IIDC_FEATURE_PAN,       IIDC_FEATURE_TILT,
    IIDC_FEATURE_OPTICAL_FILTER};

template <typename T>
std::unique_ptr<T> Record() {
  return std::make_unique<T>();
}

void QueryEverything(iidc_handle h) {
  const int32_t nCount = iidc_getformatcount(h);
  if (nCount > 0 && nCount < 4096) {
    std::vector<uint32_t> ids(static_cast<std::size_t>(nCount));
    const int32_t cbIds = iidc_getformatidlist(h, ids.data(), nCount * 4);
    if (cbIds < 0 || cbIds > nCount * 4) {
      std::abort();
    }
    for (int32_t i = 0; i < cbIds / 4; ++i) {
      iidc_getformatinfo(h, Record<iidc_formatinfo>().get(), sizeof(iidc_formatinfo), ids[static_cast<std::size_t>(i)]);
    }
  }
  for (uint32_t format : {0u, 1u, 2u, 7u}) {
    for (uint32_t mode = 0; mode < 8; ++mode) {
      const uint32_t id = IIDC_FORMATID(format, mode, 0);
      iidc_getformatinfo(h, Record<iidc_formatinfo>().get(), sizeof(iidc_formatinfo), id);
      iidc_getframerateinfo(h, Record<iidc_framerateinfo>().get(), sizeof(iidc_framerateinfo), id);
      iidc_getareainfo(h, Record<iidc_areainfo>().get(), sizeof(iidc_areainfo), id);
    }
  }
  iidc_currentformat(h);
  iidc_currentframerate(h);
  iidc_currentarea(h, Record<iidc_area>().get(), sizeof(iidc_area));
  for (uint32_t feature : FEATURES) {
    auto info = Record<iidc_featureinfo>();
    info->id = feature;
    iidc_currentfeatureinfo(h, info.get(), 0);
    auto state = Record<iidc_feature>();
    state->id = feature;
    iidc_currentfeature(h, state.get(), 0);
  }
  if (!iidc_preparecapture(h)) {
    fuzz::COpenCamera::Get().Reopen();
    return;
  }
  iidc_currentdataframebytes(h);
  iidc_gettransferinfo(h, Record<iidc_transferinfo>().get(), sizeof(iidc_transferinfo));
  iidc_clearcapture(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData) {
  vcam::Profile camera = fuzz::SmallCamera();
  const std::vector<std::uint32_t> quadlets = fuzz::Quadlets(pData, cbData);
  for (std::size_t i = 0; i + 1 < quadlets.size(); i += 2) {
    // Within the first megabyte of the command registers, where every
    // register and every CSR an inquiry can point at lies.
    camera.rawRegisters[quadlets[i] & 0x000FFFFCu] = quadlets[i + 1];
  }
  if (iidc_handle h = fuzz::COpenCamera::Get().Play(camera)) {
    QueryEverything(h);
  }
  return 0;
}
