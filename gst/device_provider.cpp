// The device provider probes: it names every camera and opens each in turn to
// read its catalogue. A camera that cannot be opened (this process streams
// from it, say) is listed with every format the source can deliver.
#include "device_provider.h"

#include <string>

#include "camera.h"
#include "caps.h"
#include "library_thread.h"

GST_DEBUG_CATEGORY_STATIC(g_iidcProviderDebug);
#define GST_CAT_DEFAULT g_iidcProviderDebug

struct _GstIidcDeviceProvider {
  GstDeviceProvider parent;
};

struct _GstIidcDevice {
  GstDevice parent;
  gchar* pszUniqueId;  // the camera the element is set to
};

G_DEFINE_TYPE(GstIidcDeviceProvider, gst_iidc_device_provider, GST_TYPE_DEVICE_PROVIDER)
G_DEFINE_TYPE(GstIidcDevice, gst_iidc_device, GST_TYPE_DEVICE)

namespace {

using iidcgst::CCamera;

GstDevice* DeviceOf(const iidcgst::CameraName& name)
{
    GstCaps* caps = nullptr;
    try {
        const auto pCamera = CCamera::Open(std::to_string(name.nIndex));
        caps = iidcgst::CapsOfCatalogue(pCamera->Formats(), {pCamera->SensorFilters(), std::nullopt});
    } catch (const std::exception& error) {
        GST_INFO("camera %d listed without its catalogue: %s", name.nIndex, error.what());
        caps = iidcgst::TemplateCaps();
    }
    const std::string displayName = name.vendor + " " + name.model;
    // Named as GStreamer's own device providers name them.
    GstStructure* properties = gst_structure_new(
        "iidc-properties", "device.api", G_TYPE_STRING, "iidc", "device.serial", G_TYPE_STRING, name.uniqueId.c_str(),
        "device.vendor.name", G_TYPE_STRING, name.vendor.c_str(), "device.product.name", G_TYPE_STRING,
        name.model.c_str(), "iidc.index", G_TYPE_INT, name.nIndex, nullptr);
    auto* device = GST_IIDC_DEVICE(g_object_new(GST_TYPE_IIDC_DEVICE, "display-name", displayName.c_str(),
                                                "device-class", "Video/Source", "caps", caps, "properties",
                                                properties, "unique-id", name.uniqueId.c_str(), nullptr));
    gst_caps_unref(caps);
    gst_structure_free(properties);
    return GST_DEVICE(device);
}

GList* gst_iidc_device_provider_probe(GstDeviceProvider*)
{
    GList* devices = nullptr;
    try {
        const iidcgst::CLibraryHold hold;  // one start of the library for the whole probe
        for (const auto& name : CCamera::List())
            devices = g_list_append(devices, gst_object_ref_sink(DeviceOf(name)));
    } catch (const std::exception& error) {
        GST_WARNING("listing the cameras failed: %s", error.what());
    }
    return devices;
}

GstElement* gst_iidc_device_create_element(GstDevice* device, const gchar* pszName)
{
    GstElement* element = gst_element_factory_make("iidcsrc", pszName);
    if (element)
        g_object_set(element, "camera", GST_IIDC_DEVICE(device)->pszUniqueId, nullptr);
    return element;
}

enum { PROP_DEVICE_0, PROP_UNIQUE_ID };

void gst_iidc_device_set_property(GObject* object, guint nId, const GValue* value, GParamSpec* pspec)
{
    if (nId != PROP_UNIQUE_ID) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, nId, pspec);
        return;
    }
    GstIidcDevice* device = GST_IIDC_DEVICE(object);
    g_free(device->pszUniqueId);
    device->pszUniqueId = g_value_dup_string(value);
}

void gst_iidc_device_get_property(GObject* object, guint nId, GValue* value, GParamSpec* pspec)
{
    if (nId != PROP_UNIQUE_ID) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, nId, pspec);
        return;
    }
    g_value_set_string(value, GST_IIDC_DEVICE(object)->pszUniqueId);
}

void gst_iidc_device_finalize(GObject* object)
{
    g_free(GST_IIDC_DEVICE(object)->pszUniqueId);
    G_OBJECT_CLASS(gst_iidc_device_parent_class)->finalize(object);
}

}  // namespace

static void gst_iidc_device_provider_class_init(GstIidcDeviceProviderClass* klass)
{
    GstDeviceProviderClass* providerClass = GST_DEVICE_PROVIDER_CLASS(klass);
    providerClass->probe = GST_DEBUG_FUNCPTR(gst_iidc_device_provider_probe);
    gst_device_provider_class_set_static_metadata(providerClass, "IIDC camera device provider", "Source/Video",
                                                  "Lists IIDC 1394 cameras and their formats", "The iidc developers");
    GST_DEBUG_CATEGORY_INIT(g_iidcProviderDebug, "iidcdeviceprovider", 0, "IIDC camera device provider");
}

static void gst_iidc_device_provider_init(GstIidcDeviceProvider*) {}

static void gst_iidc_device_class_init(GstIidcDeviceClass* klass)
{
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = GST_DEBUG_FUNCPTR(gst_iidc_device_set_property);
    objectClass->get_property = GST_DEBUG_FUNCPTR(gst_iidc_device_get_property);
    objectClass->finalize = GST_DEBUG_FUNCPTR(gst_iidc_device_finalize);
    GST_DEVICE_CLASS(klass)->create_element = GST_DEBUG_FUNCPTR(gst_iidc_device_create_element);
    g_object_class_install_property(
        objectClass, PROP_UNIQUE_ID,
        g_param_spec_string("unique-id", "Unique id", "The camera's unique id, which the element is set to", nullptr,
                            GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY | G_PARAM_STATIC_STRINGS)));
}

static void gst_iidc_device_init(GstIidcDevice*) {}
