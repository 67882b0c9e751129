// iidcsrc: a live source of an IIDC camera's frames (GstIidcSrc, a
// GstPushSrc).
#pragma once

#include <gst/base/gstpushsrc.h>

G_BEGIN_DECLS

#define GST_TYPE_IIDC_SRC (gst_iidc_src_get_type())
G_DECLARE_FINAL_TYPE(GstIidcSrc, gst_iidc_src, GST, IIDC_SRC, GstPushSrc)

G_END_DECLS
