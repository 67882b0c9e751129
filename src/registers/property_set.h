// The camera driver's property set and the 64-byte requests it takes.
#pragma once

#include <cstdint>

#include "winapi.h"

// {3C622270-2A67-40E2-85A6-9C76859AEC02}
inline constexpr GUID PROPSETID_IIDC_CAMERA = {
    0x3C622270, 0x2A67, 0x40E2, {0x85, 0xA6, 0x9C, 0x76, 0x85, 0x9A, 0xEC, 0x02}};

inline constexpr DWORD IIDC_PROPERTY_AREA = 0;
inline constexpr DWORD IIDC_PROPERTY_READ_QUADLET = 5;
inline constexpr DWORD IIDC_PROPERTY_WRITE_QUADLET = 6;

// Every request is one 64-byte block passed as both instance and property
// data. Integers are in the host's (little-endian) order.
inline constexpr DWORD IIDC_REQUEST_SIZE = 64;

// Register requests: the offset in bytes 56-59, the value in bytes 60-63.
struct IIDC_REGISTER_REQUEST
{
    BYTE reserved[56];
    uint32_t offset;
    uint32_t value;
};
static_assert(sizeof(IIDC_REGISTER_REQUEST) == IIDC_REQUEST_SIZE);

// The Format 7 area request: left, top, width, height and the value 1 in
// bytes 24-43; every other byte zero.
struct IIDC_AREA_REQUEST
{
    BYTE reserved0[24];
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
    int32_t one;
    BYTE reserved1[20];
};
static_assert(sizeof(IIDC_AREA_REQUEST) == IIDC_REQUEST_SIZE);

// The answer of a driver asked for an area while the camera is not in Format 7.
inline constexpr HRESULT IIDC_AREA_NOT_FORMAT7 = static_cast<HRESULT>(0x80070490);
