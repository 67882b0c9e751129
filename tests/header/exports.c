/*
 * Compiled, never run: the value of every constant and the fields of every
 * record as documented, so a slip in iidc.h fails the build (warnings are
 * errors here).
 */
#include "iidc.h"

#include <stddef.h>

#define EXPECT(condition) _Static_assert(condition, #condition)

/* The calling conventions: an export of the other convention would not
 * convert on 32-bit Windows. The whole export table is the DLL check's. */
iidc_handle (IIDC_API *const g_open)(int32_t) = iidc_open;
iidc_bool (IIDC_CAPI *const g_setimagetowindow)(iidc_handle, iidc_window, int32_t, int32_t, int32_t, int32_t) =
    iidc_setimagetowindow;
uint32_t (IIDC_CAPI *const g_getbits)(iidc_handle, ...) = iidc_getbits;

/* Basic types. */
EXPECT(sizeof(iidc_bool) == 1 && IIDC_TRUE == 1 && IIDC_FALSE == 0);
EXPECT(sizeof(iidc_handle) == sizeof(void *));
EXPECT(sizeof(iidc_event) == sizeof(void *));
#if defined(_WIN32)
EXPECT(sizeof(iidc_window) == sizeof(HWND));
#else
EXPECT(sizeof(iidc_window) == sizeof(unsigned long));
#endif

/* Error codes. */
EXPECT(IIDC_ERR_CAPTURING == 0x80000101u);
EXPECT(IIDC_ERR_WAIT_ABORTED == 0x80000102u);
EXPECT(IIDC_ERR_NO_FRAMES == 0x80000103u);
EXPECT(IIDC_ERR_NOT_PREPARED == 0x80000104u);
EXPECT(IIDC_ERR_ALREADY_PREPARED == 0x80000105u);
EXPECT(IIDC_ERR_NOT_CAPTURING == 0x80000106u);
EXPECT(IIDC_ERR_ALREADY_OPEN == 0x80000107u);
EXPECT(IIDC_ERR_NOT_INITIALIZED == 0x80000111u);
EXPECT(IIDC_ERR_NO_MEMORY == 0x80000203u);
EXPECT(IIDC_ERR_NO_DEVICE == 0x80000207u);
EXPECT(IIDC_ERR_INVALID_HANDLE == 0x80000807u);
EXPECT(IIDC_ERR_INVALID_PARAMETER == 0x80000808u);
EXPECT(IIDC_ERR_INVALID_FEATURE == 0x80000809u);
EXPECT(IIDC_ERR_FORMAT_UNAVAILABLE == 0x8000080Bu);
EXPECT(IIDC_ERR_NOT_SUPPORTED == 0x80000F03u);
EXPECT(IIDC_ERR_FAIL == 0x80004005u);

/* Camera states. */
EXPECT(IIDC_STATE_CAPTURING == 1 && IIDC_STATE_READY == 2);
EXPECT(IIDC_STATE_PREPARED == 3 && IIDC_STATE_OPENED == 4);

/* Library queries. */
EXPECT(IIDC_CAPABILITY_INTERFACE == 0 && IIDC_INTERFACE_VERSION == 0x01000000u);
EXPECT(IIDC_CAPABILITY_REVISION == 1 && IIDC_INTERFACE_REVISION == 0x01000001u);
EXPECT(IIDC_CAPABILITY_COLORS == 2 && IIDC_COLOR_LAST == 6);
EXPECT(IIDC_BUSTYPE_1394 == 0x00010001u);

/* Colour codes and format ids. */
EXPECT(IIDC_COLOR_MONO8 == 0 && IIDC_COLOR_YUV411 == 1 && IIDC_COLOR_YUV422 == 2);
EXPECT(IIDC_COLOR_YUV444 == 3 && IIDC_COLOR_RGB8 == 4 && IIDC_COLOR_MONO16 == 5);
EXPECT(IIDC_COLOR_RGB16 == 6 && IIDC_FORMAT_SCALABLE == 7);
EXPECT(IIDC_FORMATID_LISTED == 0xFF700000u && IIDC_FORMATID_CURRENT == 0xFF600000u);
EXPECT(IIDC_FORMATID(1, 3, IIDC_COLOR_YUV422) == 0xFF703102u);
EXPECT(IIDC_FORMATID(IIDC_FORMAT_SCALABLE, 2, IIDC_COLOR_MONO16) == 0xFF702705u);
EXPECT(IIDC_FORMATID_FORMAT(0xFF603100u) == 1 && IIDC_FORMATID_MODE(0xFF603100u) == 3);
EXPECT(IIDC_FORMATID_COLOR(0xFF702705u) == 5);
/* Out-of-range parts stay inside their own fields; bits 11 and 15 are not
 * part of the format and mode numbers. */
EXPECT(IIDC_FORMATID(0x17, 0x12, 0x1FF) == 0xFF7027FFu);
EXPECT(IIDC_FORMATID_FORMAT(0xFF708F00u) == 7 && IIDC_FORMATID_MODE(0xFF708F00u) == 0);
EXPECT(IIDC_FORMATCAPS_STANDARD == 0x50000000u && IIDC_FORMATCAPS_SCALABLE == 0x60000000u);

/* Features. */
EXPECT(IIDC_FEATURE_BRIGHTNESS == 0 && IIDC_FEATURE_AUTO_EXPOSURE == 4);
EXPECT(IIDC_FEATURE_SHARPNESS == 8 && IIDC_FEATURE_WHITE_BALANCE == 12);
EXPECT(IIDC_FEATURE_HUE == 16 && IIDC_FEATURE_SATURATION == 20);
EXPECT(IIDC_FEATURE_GAMMA == 24 && IIDC_FEATURE_SHUTTER == 28);
EXPECT(IIDC_FEATURE_GAIN == 32 && IIDC_FEATURE_IRIS == 36);
EXPECT(IIDC_FEATURE_FOCUS == 40 && IIDC_FEATURE_TEMPERATURE == 44);
EXPECT(IIDC_FEATURE_TRIGGER == 48 && IIDC_FEATURE_ZOOM == 128);
EXPECT(IIDC_FEATURE_PAN == 132 && IIDC_FEATURE_TILT == 136);
EXPECT(IIDC_FEATURE_OPTICAL_FILTER == 140);
EXPECT(IIDC_FEATURECAP_ONOFF == 0x01u && IIDC_FEATURECAP_MANUAL == 0x02u);
EXPECT(IIDC_FEATURECAP_AUTO == 0x04u && IIDC_FEATURECAP_ONEPUSH == 0x08u);
EXPECT(IIDC_FEATURECAP_READOUT == 0x10u && IIDC_FEATURECAP_PRESENT == 0x20u);
EXPECT(IIDC_FEATURECAP_UNITS == 0x40u && IIDC_FEATURECAP_ABSOLUTE == 0x80u);
EXPECT(IIDC_FEATURECAP_TRIGGER_MODE0 == 0x100u && IIDC_FEATURECAP_TRIGGER_MODE1 == 0x200u);
EXPECT(IIDC_FEATURECAP_TRIGGER_MODE2 == 0x400u && IIDC_FEATURECAP_TRIGGER_MODE3 == 0x800u);
EXPECT(IIDC_FEATURESTATE_OFF == 0x01u && IIDC_FEATURESTATE_MANUAL == 0x02u);
EXPECT(IIDC_FEATURESTATE_AUTO == 0x04u && IIDC_FEATURESTATE_ONEPUSH == 0x08u);
EXPECT(IIDC_FEATURESTATE_UNITS == 0x40u && IIDC_FEATURESTATE_ABSOLUTE == 0x80u);
EXPECT(IIDC_FEATURESTATE_VALUE1 == 0x1000u && IIDC_FEATURESTATE_VALUE2 == 0x2000u);
EXPECT(IIDC_FEATURESTATE_POLARITY_LOW == 0x10000u);
EXPECT(IIDC_FEATURESTATE_POLARITY_HIGH == 0x20000u);

/* Identity strings and waiting. */
EXPECT(IIDC_STRING_UNIQUEID == 0x80 && IIDC_STRING_VENDOR == 0x81);
EXPECT(IIDC_STRING_MODEL == 0x82 && IIDC_UNIQUEID_LENGTH == 10);
EXPECT(IIDC_WAIT_FRAME == 2 && IIDC_WAIT_RING == 4 && IIDC_WAIT_INFINITE == 0xFFFFFFFFu);

/* Every record field: its type and its documented offset. Padding would hide
 * a narrowed field from the size checks, so the type is checked as well. */
#define FIELD(record, field, type, offset)                                       \
  EXPECT(offsetof(record, field) == (offset) &&                                  \
         _Generic(((record *)0)->field, type: 1, default: 0))
FIELD(iidc_formatinfo, capabilities, uint32_t, 0);
FIELD(iidc_formatinfo, color, int32_t, 4);
FIELD(iidc_formatinfo, width, int32_t, 8);
FIELD(iidc_formatinfo, height, int32_t, 12);
FIELD(iidc_formatinfo, marker, uint8_t, 16);
FIELD(iidc_formatinfo, mode, uint8_t, 17);
FIELD(iidc_formatinfo, format, uint8_t, 18);
FIELD(iidc_formatinfo, reserved, uint8_t, 19);
FIELD(iidc_framerateinfo, flags, uint32_t, 0);
FIELD(iidc_framerateinfo, lowest, float, 4);
FIELD(iidc_framerateinfo, highest, float, 8);
FIELD(iidc_areainfo, maxwidth, int32_t, 0);
FIELD(iidc_areainfo, maxheight, int32_t, 4);
FIELD(iidc_areainfo, leftunit, int32_t, 8);
FIELD(iidc_areainfo, topunit, int32_t, 12);
FIELD(iidc_areainfo, widthunit, int32_t, 16);
FIELD(iidc_areainfo, heightunit, int32_t, 20);
FIELD(iidc_area, left, int32_t, 0);
FIELD(iidc_area, top, int32_t, 4);
FIELD(iidc_area, width, int32_t, 8);
FIELD(iidc_area, height, int32_t, 12);
FIELD(iidc_transferinfo, framecount, int32_t, 0);
FIELD(iidc_transferinfo, lastbuffer, int32_t, 4);
FIELD(iidc1394_isotransmissioninfo, channel, uint8_t, 0);
FIELD(iidc1394_isotransmissioninfo, speed, uint8_t, 1);
FIELD(iidc1394_isotransmissioninfo, packetsize, uint16_t, 2);
FIELD(iidc_featureinfo, id, uint32_t, 0);
FIELD(iidc_featureinfo, reserved, uint32_t, 4);
FIELD(iidc_featureinfo, flags, uint32_t, 8);
FIELD(iidc_featureinfo, minimum, float, 12);
FIELD(iidc_featureinfo, maximum, float, 16);
FIELD(iidc_feature, id, uint32_t, 0);
FIELD(iidc_feature, flags, uint32_t, 4);
FIELD(iidc_feature, value1, float, 8);
FIELD(iidc_feature, value2, float, 12);
FIELD(iidc_waitinfo, kind, uint32_t, 0);
FIELD(iidc_waitinfo, timeout, uint32_t, 4);
