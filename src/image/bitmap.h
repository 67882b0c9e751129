// Colour images of captured frames: a frame of the ring, locked as raw frame
// access locks it, converted into the camera's conversion buffer.
#pragma once

#include "winapi.h"

class CCamera;

// Locks buffer index (negative: the one filled last) and converts its frame,
// read in the format and area now in force, into m_pRgbBuffer: a bottom-up
// image of 3 bytes per pixel (blue, green, red), rows padded to a multiple of
// 4 bytes. Returns m_pRgbBuffer, or null:
//   - whatever LockData returns null for, with its code;
//   - no conversion buffer: IIDC_ERR_NO_FRAMES;
//   - the format, its record or the Format 7 area unreadable: that query's code;
//   - an image larger than the conversion buffer, or a frame larger than the
//     ring's buffers (the format or area grew after the ring was put in
//     place): IIDC_ERR_NOT_SUPPORTED, and nothing is written;
//   - the platform bitmap cannot be made, or an RGB or unknown coding: no code.
// The frame stays locked whatever the result once the lock was taken.
BYTE* LockBits(CCamera& camera, LONG index);
