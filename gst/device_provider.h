// iidcdeviceprovider: lists the cameras the library sees, each with its caps,
// as Video/Source devices whose elements are iidcsrc set to that camera
// (GstIidcDeviceProvider, GstIidcDevice).
#pragma once

#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_IIDC_DEVICE_PROVIDER (gst_iidc_device_provider_get_type())
G_DECLARE_FINAL_TYPE(GstIidcDeviceProvider, gst_iidc_device_provider, GST, IIDC_DEVICE_PROVIDER, GstDeviceProvider)

#define GST_TYPE_IIDC_DEVICE (gst_iidc_device_get_type())
G_DECLARE_FINAL_TYPE(GstIidcDevice, gst_iidc_device, GST, IIDC_DEVICE, GstDevice)

G_END_DECLS
