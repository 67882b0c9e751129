// Record layouts as C++ sees them: every field's type and offset. Compiled
// into the header test natively and on its own by the Windows cross
// compilers, so the checks hold for every ABI the library ships on.
#include "iidc.h"

#include <cstddef>
#include <type_traits>

#define IIDC_FIELD(record, field, type, offset)                                   \
  static_assert(offsetof(record, field) == (offset), #record "." #field " offset"); \
  static_assert(std::is_same<decltype(record::field), type>::value, #record "." #field " type")

static_assert(std::is_standard_layout<iidc_formatinfo>::value, "plain record");
IIDC_FIELD(iidc_formatinfo, capabilities, uint32_t, 0);
IIDC_FIELD(iidc_formatinfo, color, int32_t, 4);
IIDC_FIELD(iidc_formatinfo, width, int32_t, 8);
IIDC_FIELD(iidc_formatinfo, height, int32_t, 12);
IIDC_FIELD(iidc_formatinfo, marker, uint8_t, 16);
IIDC_FIELD(iidc_formatinfo, mode, uint8_t, 17);
IIDC_FIELD(iidc_formatinfo, format, uint8_t, 18);
IIDC_FIELD(iidc_formatinfo, reserved, uint8_t, 19);

IIDC_FIELD(iidc_framerateinfo, flags, uint32_t, 0);
IIDC_FIELD(iidc_framerateinfo, lowest, float, 4);
IIDC_FIELD(iidc_framerateinfo, highest, float, 8);

IIDC_FIELD(iidc_areainfo, maxwidth, int32_t, 0);
IIDC_FIELD(iidc_areainfo, maxheight, int32_t, 4);
IIDC_FIELD(iidc_areainfo, leftunit, int32_t, 8);
IIDC_FIELD(iidc_areainfo, topunit, int32_t, 12);
IIDC_FIELD(iidc_areainfo, widthunit, int32_t, 16);
IIDC_FIELD(iidc_areainfo, heightunit, int32_t, 20);

IIDC_FIELD(iidc_area, left, int32_t, 0);
IIDC_FIELD(iidc_area, top, int32_t, 4);
IIDC_FIELD(iidc_area, width, int32_t, 8);
IIDC_FIELD(iidc_area, height, int32_t, 12);

IIDC_FIELD(iidc_transferinfo, framecount, int32_t, 0);
IIDC_FIELD(iidc_transferinfo, lastbuffer, int32_t, 4);

IIDC_FIELD(iidc1394_isotransmissioninfo, channel, uint8_t, 0);
IIDC_FIELD(iidc1394_isotransmissioninfo, speed, uint8_t, 1);
IIDC_FIELD(iidc1394_isotransmissioninfo, packetsize, uint16_t, 2);

IIDC_FIELD(iidc_featureinfo, id, uint32_t, 0);
IIDC_FIELD(iidc_featureinfo, reserved, uint32_t, 4);
IIDC_FIELD(iidc_featureinfo, flags, uint32_t, 8);
IIDC_FIELD(iidc_featureinfo, minimum, float, 12);
IIDC_FIELD(iidc_featureinfo, maximum, float, 16);

IIDC_FIELD(iidc_feature, id, uint32_t, 0);
IIDC_FIELD(iidc_feature, flags, uint32_t, 4);
IIDC_FIELD(iidc_feature, value1, float, 8);
IIDC_FIELD(iidc_feature, value2, float, 12);

IIDC_FIELD(iidc_waitinfo, kind, uint32_t, 0);
IIDC_FIELD(iidc_waitinfo, timeout, uint32_t, 4);

static_assert(sizeof(iidc_handle) == sizeof(void *), "a handle is pointer-sized");
static_assert(sizeof(iidc_event) == sizeof(void *), "an event is a HANDLE");
static_assert(std::is_same<iidc_bool, unsigned char>::value, "one-byte boolean");
#if defined(_WIN32)
static_assert(std::is_same<iidc_window, HWND>::value, "owner window is a HWND");
#else
static_assert(std::is_same<iidc_window, unsigned long>::value, "owner window is an X11 Window");
#endif

// The calling convention is part of each export's type: a slip between the
// standard and the C convention changes the type on 32-bit Windows.
static_assert(std::is_same<decltype(&iidc_open), iidc_handle(IIDC_API *)(int32_t)>::value,
              "iidc_open uses the standard convention");
static_assert(std::is_same<decltype(&iidc_getbustype), uint32_t(IIDC_CAPI *)(int32_t)>::value,
              "iidc_getbustype uses the C convention");
