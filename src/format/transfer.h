// Figures of the running stream: bytes per frame as the graph negotiated
// them, frames delivered since capture started with the ring position filled
// last, and the camera's isochronous channel, speed and packet size.
#pragma once

#include "iidc.h"
#include "winapi.h"

class CCamera;

// Bytes per frame at the grabber's input; 0 on failure.
int32_t GetCurrentDataFrameBytes(CCamera& camera);

// 1 on success; 0 when neither frame counter exists (record untouched) or the
// counter cannot be read.
int32_t GetTransferInfo(CCamera& camera, iidc_transferinfo* pInfo);

// Fills channel, speed and packet size into *pInfo while capture runs; 4 on
// success, 0 on failure.
int32_t GetIsoTransmissionInfo(CCamera& camera, iidc1394_isotransmissioninfo* pInfo);

// Quadlets per packet of a standard mode at a frame-rate code; 0xFFFF where
// IIDC defines none, reserved rate codes included.
uint16_t StandardPacketQuadlets(uint32_t format, uint32_t mode, uint32_t rateCode);
