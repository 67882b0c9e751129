// The Null Renderer (CLSID_NullRenderer): takes any media type, drops every
// sample, and reports EC_COMPLETE at end of stream.
#include "base/unknown.h"
#include "emul/class_registry.h"
#include "emul/dshow/renderer_base.h"

namespace {

class CNullRenderer final : public CRendererBase {
 public:
  CNullRenderer() : CRendererBase("CNullRenderer", CLSID_NullRenderer) {}

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* /*pmt*/) override { return S_OK; }
  HRESULT RenderSample(IMediaSample* /*pSample*/) override { return S_OK; }
};

const bool g_bRegistered = emul::RegisterClass(CLSID_NullRenderer, &CreateComInstance<CNullRenderer>);

}  // namespace
