#include "format/catalogue.h"

#include "core/camera.h"
#include "core/library.h"
#include "format/camera_registers.h"
#include "format/format_id.h"
#include "format/stream_caps.h"
#include "format/tables.h"
#include "registers/offsets.h"

using namespace iidc_reg;

namespace {

constexpr DWORD FORMAT7_SUPPORTED = IIDC_BIT(7);

// The colour codings a Format 7 mode lists in COLOR_CODING_INQ (codes 0-6).
bool ReadColourCodings(const CCamera& camera, DWORD mode, DWORD* pInquiry)
{
    return ReadFormat7Register(camera, mode, F7_COLOR_CODING_INQ, pInquiry);
}

} // namespace

int32_t MatchStandardMode(const AM_MEDIA_TYPE& mediaType)
{
    for (int32_t row = 0; row < int32_t(STANDARD_FORMAT_COUNT * MODES_PER_FORMAT); ++row) {
        const STANDARD_MODE& mode = STANDARD_MODES[row];
        if (mode.FrameBytes() == int32_t(mediaType.lSampleSize)
            && COLOUR_SUBTYPES[mode.nColour].Data1 == mediaType.subtype.Data1)
            return row;   // within one colour code no two rows share a frame size
    }
    return -1;
}

int32_t GetFormatCount(CCamera& camera)
{
    if (!camera.m_pStreamConfig) {
        SetErrorCode(-1, IIDC_ERR_INVALID_HANDLE);
        return 0;
    }
    CStreamCaps caps(*camera.m_pStreamConfig.Get());
    if (FAILED(caps.Open())) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return 0;
    }
    int32_t count = caps.Count();
    DWORD formats = 0;
    if (!ReadCameraRegister(camera, V_FORMAT_INQ, &formats))
        return 0;
    if (!(formats & FORMAT7_SUPPORTED))
        return count;
    DWORD modes = 0;
    if (!ReadCameraRegister(camera, V_MODE_INQ_7, &modes))
        return 0;
    for (DWORD m = 0; m < MODES_PER_FORMAT; ++m) {
        if (!(modes & IIDC_BIT(m)))
            continue;
        DWORD codings = 0;
        if (!ReadColourCodings(camera, m, &codings))
            return 0;
        for (uint32_t c = 0; c < COLOUR_CODE_COUNT; ++c)
            count += (codings & IIDC_BIT(c)) ? 1 : 0;
    }
    return count;
}

int32_t GetFormatIdList(CCamera& camera, uint32_t* pIds, int32_t cbIds)
{
    if (!pIds || cbIds == 0) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
    if (!camera.m_pStreamConfig) {
        SetErrorCode(-1, IIDC_ERR_INVALID_HANDLE);
        return 0;
    }
    // A negative size is as unusable as a zero one, but holds no whole entry.
    const int32_t capacity = cbIds > 0 ? cbIds / 4 : 0;
    int32_t nIds = 0;
    CStreamCaps caps(*camera.m_pStreamConfig.Get());
    if (FAILED(caps.Open())) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return 0;
    }
    const int examined = caps.Count() < capacity ? caps.Count() : int(capacity);
    for (int i = 0; i < examined; ++i) {
        CMediaTypePtr pType;
        if (FAILED(caps.MediaType(i, pType)) || !pType) {
            SetErrorCode(camera.m_nIndex, E_FAIL);
            return 0;
        }
        const int32_t row = MatchStandardMode(*pType.Get());
        if (row >= 0)
            pIds[nIds++] = ListedFormatId(uint32_t(row) / MODES_PER_FORMAT, uint32_t(row) % MODES_PER_FORMAT,
                                          uint32_t(STANDARD_MODES[row].nColour));
    }
    if (nIds == capacity)
        return 4 * nIds;

    // The Format 7 support bit of V_FORMAT_INQ is not consulted: a camera
    // listing Format 7 modes gets them listed.
    DWORD modes = 0;
    if (!ReadCameraRegister(camera, V_MODE_INQ_7, &modes))
        return 0;
    for (DWORD m = 0; m < MODES_PER_FORMAT && modes; ++m) {
        if (!(modes & IIDC_BIT(m)))
            continue;
        DWORD codings = 0;
        if (!ReadColourCodings(camera, m, &codings))
            return 0;
        for (uint32_t c = 0; c < COLOUR_CODE_COUNT; ++c) {
            if (!(codings & IIDC_BIT(c)))
                continue;
            pIds[nIds++] = ListedFormatId(IIDC_FORMAT_SCALABLE, m, c);
            if (nIds == capacity)
                return 4 * nIds;
        }
    }
    return 4 * nIds;
}

int32_t GetFormatInfo(CCamera& camera, iidc_formatinfo* pInfo, int32_t cbInfo, uint32_t id)
{
    if (!pInfo || cbInfo == 0) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
    const DWORD format = FormatOfId(id);
    const DWORD mode = ModeOfId(id);
    // The trailing bytes are written before the format is judged.
    pInfo->marker = 1;
    pInfo->mode = BYTE(mode);
    pInfo->format = BYTE(format);
    pInfo->reserved = 0;
    if (IsStandardFormat(format)) {
        // From the table alone: whether the camera offers the mode is not asked.
        const STANDARD_MODE& row = StandardMode(format, mode);
        pInfo->capabilities = IIDC_FORMATCAPS_STANDARD;
        pInfo->color = row.nColour;
        pInfo->width = row.nWidth;
        pInfo->height = row.nHeight;
        return 1;
    }
    if (format != IIDC_FORMAT_SCALABLE) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_FORMAT_UNAVAILABLE);
        return 0;
    }
    pInfo->capabilities = IIDC_FORMATCAPS_SCALABLE;
    DWORD block = 0, coding = 0, maxSize = 0;
    if (!ReadFormat7Block(camera, mode, &block) || !ReadCameraRegister(camera, block + F7_COLOR_CODING_ID, &coding))
        return 0;
    pInfo->color = int32_t(coding >> 24);
    if (!ReadCameraRegister(camera, block + F7_MAX_IMAGE_SIZE_INQ, &maxSize))
        return 0;
    pInfo->width = int32_t(maxSize >> 16);
    pInfo->height = int32_t(maxSize & 0xFFFF);
    return 1;
}

uint32_t GetCurrentFormat(CCamera& camera)
{
    DWORD format = 0, mode = 0;
    if (!ReadCameraRegister(camera, CUR_V_FORMAT, &format) || !ReadCameraRegister(camera, CUR_V_MODE, &mode))
        return 0;
    format = TopThreeBits(format);
    mode = TopThreeBits(mode);
    DWORD coding = 0;
    if (format == IIDC_FORMAT_SCALABLE && !ReadFormat7Register(camera, mode, F7_COLOR_CODING_ID, &coding))
        return 0;
    return CurrentFormatId(format, mode, coding >> 24);
}
