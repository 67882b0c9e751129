// The header as C++ sees it, natively and through the Windows cross
// compilers in C++11 and C++20 (the records' layout is checked from C): the
// calling convention is part of each export's type, so a slip between the
// standard and the C convention changes the type on 32-bit Windows.
#include "iidc.h"

#include <type_traits>

static_assert(std::is_same<decltype(&iidc_open), iidc_handle(IIDC_API *)(int32_t)>::value,
              "iidc_open uses the standard convention");
static_assert(std::is_same<decltype(&iidc_getbustype), uint32_t(IIDC_CAPI *)(int32_t)>::value,
              "iidc_getbustype uses the C convention");
static_assert(std::is_same<iidc_bool, unsigned char>::value, "one-byte boolean");
#if defined(_WIN32)
static_assert(std::is_same<iidc_window, HWND>::value, "owner window is a HWND");
#else
static_assert(std::is_same<iidc_window, unsigned long>::value, "owner window is an X11 Window");
#endif
