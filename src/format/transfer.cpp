#include "format/transfer.h"

#include "capture/sample_grabber_cb.h"
#include "core/camera.h"
#include "core/library.h"
#include "format/camera_registers.h"
#include "format/format_id.h"
#include "format/packet_sizes.h"
#include "format/stream_caps.h"
#include "registers/channel.h"
#include "registers/offsets.h"

using namespace iidc_reg;

namespace {

// Mbit/s by IIDC ISO_Speed code. S400 does not fit a byte: its low eight bits
// (0x90) stand for it.
constexpr BYTE SPEED_BYTES[] = {100, 200, BYTE(400 & 0xFF), 255};

// The media type connected at the grabber's input: its sample size.
HRESULT ConnectedSampleSize(const CCamera& camera, int32_t* pSize)
{
    if (!camera.m_pGrabber)
        return E_POINTER;
    AM_MEDIA_TYPE mediaType{};
    const HRESULT hr = camera.m_pGrabber->GetConnectedMediaType(&mediaType);
    if (SUCCEEDED(hr))
        *pSize = int32_t(mediaType.lSampleSize);
    FreeMediaType(mediaType);
    return hr;
}

// Quadlets per packet of the Format 7 mode in force, from BYTE_PER_PACKET
// (bytes per packet in its upper half). A camera whose block cannot be read
// gets the low 16 bits of the frame size instead.
uint16_t Format7PacketField(const CCamera& camera, DWORD mode)
{
    DWORD quadlet = 0, bytesPerPacket = 0;
    if (ReadQuadlet(camera, V_CSR_INQ_7(mode), &quadlet)
        && ReadQuadlet(camera, CsrOffset(quadlet) + F7_BYTE_PER_PACKET, &bytesPerPacket))
        return uint16_t((bytesPerPacket >> 16) / 4);
    int32_t frameBytes = 0;
    ConnectedSampleSize(camera, &frameBytes);
    return uint16_t(frameBytes);
}

} // namespace

uint16_t StandardPacketQuadlets(uint32_t format, uint32_t mode, uint32_t rateCode)
{
    if (!IsStandardFormat(format) || mode >= MODES_PER_FORMAT || rateCode >= PACKET_SIZE_RATE_CODES)
        return 0xFFFF;
    return uint16_t(PACKET_SIZES[format * MODES_PER_FORMAT + mode][rateCode]);   // -1 reads 0xFFFF
}

int32_t GetCurrentDataFrameBytes(CCamera& camera)
{
    if (camera.m_nState == IIDC_STATE_OPENED) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_FORMAT_UNAVAILABLE);
        return 0;
    }
    int32_t size = 0;
    if (FAILED(ConnectedSampleSize(camera, &size))) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return 0;
    }
    return size;
}

int32_t GetTransferInfo(CCamera& camera, iidc_transferinfo* pInfo)
{
    if (!pInfo) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
    LONG count = 0;
    HRESULT hr = S_OK;
    if (camera.m_pDroppedFrames)
        hr = camera.m_pDroppedFrames->GetNumNotDropped(&count);
    else if (camera.m_pQualProp) {
        int drawn = 0;
        hr = camera.m_pQualProp->get_FramesDrawn(&drawn);
        count = drawn;
    } else
        return 0;
    // A counter that cannot be read yields no figure at all.
    if (FAILED(hr)) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return 0;
    }
    pInfo->framecount = int32_t(count) - camera.m_nFramesAtStart;
    if (camera.m_pCallback)
        pInfo->lastbuffer = camera.m_pCallback->CurrentIndex();
    return 1;
}

int32_t GetIsoTransmissionInfo(CCamera& camera, iidc1394_isotransmissioninfo* pInfo)
{
    if (camera.m_nState != IIDC_STATE_CAPTURING) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NOT_CAPTURING);
        return 0;
    }
    if (!pInfo) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
    DWORD isoChannel = 0, rate = 0, mode = 0, format = 0;
    if (!ReadCameraRegister(camera, ISO_CHANNEL, &isoChannel))
        return 0;
    pInfo->channel = BYTE(isoChannel >> 28);
    pInfo->speed = SPEED_BYTES[(isoChannel >> 24) & 3];
    if (!ReadCameraRegister(camera, CUR_V_FRM_RATE, &rate) || !ReadCameraRegister(camera, CUR_V_MODE, &mode)
        || !ReadCameraRegister(camera, CUR_V_FORMAT, &format))
        return 0;
    format = TopThreeBits(format);
    mode = TopThreeBits(mode);
    // Formats 3-6 have no packet figure: the caller's value stays.
    if (IsStandardFormat(format))
        pInfo->packetsize = StandardPacketQuadlets(format, mode, TopThreeBits(rate));
    else if (format == IIDC_FORMAT_SCALABLE)
        pInfo->packetsize = Format7PacketField(camera, mode);
    return 4;
}
