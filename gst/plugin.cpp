// The iidc plugin: the iidcsrc element and the iidcdeviceprovider.
#include <gst/gst.h>

// The plugin's source package, which GST_PLUGIN_DEFINE records.
#define PACKAGE "iidc"

#include "device_provider.h"
#include "iidc_src.h"

namespace {

gboolean PluginInit(GstPlugin* plugin)
{
    return gst_element_register(plugin, "iidcsrc", GST_RANK_NONE, GST_TYPE_IIDC_SRC)
           && gst_device_provider_register(plugin, "iidcdeviceprovider", GST_RANK_PRIMARY,
                                           GST_TYPE_IIDC_DEVICE_PROVIDER);
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, iidc, "IIDC 1394 cameras through the iidc library", PluginInit,
                  IIDC_VERSION, GST_LICENSE_UNKNOWN, "iidc", "Unknown package origin")
