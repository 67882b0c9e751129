// The catalogue of formats a camera offers: standard modes from the stream
// capabilities of the capture pin, Format 7 modes and colour codings from the
// camera's inquiry registers. Nothing is cached: every call asks afresh.
// Each routine records its failures for the camera (or, for a missing stream
// configuration, in the global slot) and returns the export's failure value.
#pragma once

#include "iidc.h"
#include "winapi.h"

class CCamera;

// Number of catalogue entries: every capability, matched or not, plus one per
// supported Format 7 mode and colour coding. 0 on failure.
int32_t GetFormatCount(CCamera& camera);

// Fills at most cbIds / 4 ids; returns the bytes written, 0 on failure.
int32_t GetFormatIdList(CCamera& camera, uint32_t* pIds, int32_t cbIds);

// 1 on success, 0 on failure (fields already written stay).
int32_t GetFormatInfo(CCamera& camera, iidc_formatinfo* pInfo, int32_t cbInfo, uint32_t id);

// The id in force (0xFF6 tag for Formats 0-2); 0 on failure.
uint32_t GetCurrentFormat(CCamera& camera);

// The standard mode row whose frame size and subtype match a media type, with
// a colour code, or -1. Only the first field of the subtype is compared.
int32_t MatchStandardMode(const AM_MEDIA_TYPE& mediaType);
