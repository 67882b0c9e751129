#include "session.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "registers/offsets.h"

namespace iidccam {

std::string ErrorText(uint32_t dwCode)
{
    switch (dwCode) {
    case IIDC_ERR_CAPTURING: return "the camera is capturing";
    case IIDC_ERR_WAIT_ABORTED: return "the wait was aborted";
    case IIDC_ERR_NO_FRAMES: return "no frame buffers, or the capture could not be carried out";
    case IIDC_ERR_NOT_PREPARED: return "capture is not prepared";
    case IIDC_ERR_ALREADY_PREPARED: return "capture is already prepared";
    case IIDC_ERR_NOT_CAPTURING: return "the camera is not capturing";
    case IIDC_ERR_ALREADY_OPEN: return "the camera is already open";
    case IIDC_ERR_NOT_INITIALIZED: return "the library is not started";
    case IIDC_ERR_NO_MEMORY: return "out of memory";
    case IIDC_ERR_NO_DEVICE: return "no device at that index";
    case IIDC_ERR_INVALID_HANDLE: return "the camera is not open";
    case IIDC_ERR_INVALID_PARAMETER: return "the camera or driver refused the value";
    case IIDC_ERR_INVALID_FEATURE: return "no such feature";
    case IIDC_ERR_FORMAT_UNAVAILABLE: return "the format is not available";
    case IIDC_ERR_NOT_SUPPORTED: return "not supported for the current format";
    case IIDC_ERR_FAIL: return "the driver or a camera register access failed";
    case 0: return "no error code recorded";
    default: return fmt::format("error 0x{:08X}", dwCode);
    }
}

CLibrarySession::CLibrarySession()
{
    if (!iidc_init())
        throw CCameraError(CCameraError::Kind::NotFound, "no camera found: connect a camera (or check IIDC_VCAM_PROFILE) and try again");
    m_nCount = iidc_getcameracount();
}

CLibrarySession::~CLibrarySession()
{
    iidc_uninit();
}

std::string CameraString(int nIndex, uint32_t nId)
{
    char text[256] = {};
    const int32_t nLength = iidc_getstring(nIndex, nId, text, sizeof text);
    if (nLength <= 0)
        return std::string();
    // The ROM's text leaves are padded with zeros to whole quadlets.
    std::string result(text, std::min<std::size_t>(std::size_t(nLength), sizeof text));
    result.resize(std::strlen(result.c_str()));
    while (!result.empty() && result.back() == ' ')
        result.pop_back();
    return result;
}

namespace {

bool IsUniqueId(const std::string& text)
{
    return text.size() == IIDC_UNIQUEID_LENGTH
           && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

}  // namespace

int FindCamera(int nCount, const std::string& selector)
{
    if (selector.empty())
        return 0;
    if (IsUniqueId(selector)) {
        const std::string wanted = Lower(selector);
        for (int i = 0; i < nCount; ++i)
            if (CameraString(i, IIDC_STRING_UNIQUEID) == wanted)
                return i;
        throw CCameraError(CCameraError::Kind::NotFound,
                         fmt::format("no camera has the unique id {}: run 'iidc list' to see the cameras", selector));
    }
    if (selector.size() > 3 || !std::all_of(selector.begin(), selector.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
        throw CCameraError(CCameraError::Kind::Settings,
                         fmt::format("--camera {}: give a camera index (0 to {}) or a unique id of {} hexadecimal digits",
                                     selector, nCount - 1, IIDC_UNIQUEID_LENGTH));
    const int nIndex = std::stoi(selector);
    if (nIndex >= nCount)
        throw CCameraError(CCameraError::Kind::NotFound, fmt::format("there is no camera {}: {} camera{} found (indexes 0 to {})", nIndex,
                                                     nCount, nCount == 1 ? "" : "s", nCount - 1));
    return nIndex;
}

CCameraSession::CCameraSession(const CLibrarySession& library, const std::string& selector)
    : CCameraSession(library.CameraCount(), selector)
{
}

CCameraSession::CCameraSession(int nCameraCount, const std::string& selector)
    : m_nIndex(FindCamera(nCameraCount, selector))
{
    m_hCamera = iidc_open(m_nIndex);
    if (!m_hCamera)
        throw CCameraError(iidc_getlasterror(-1) == IIDC_ERR_ALREADY_OPEN ? CCameraError::Kind::Busy
                                                                           : CCameraError::Kind::NotFound, fmt::format("camera {} cannot be opened ({}): is another program using it?",
                                                     m_nIndex, ErrorText(iidc_getlasterror(-1))));
}

CCameraSession::~CCameraSession()
{
    iidc_idle(m_hCamera);
    iidc_freeframe(m_hCamera);
    iidc_clearcapture(m_hCamera);
    iidc_close(m_hCamera);
}

void CCameraSession::Fail(const std::string& what) const
{
    const uint32_t dwCode = iidc_getlasterror(m_nIndex);
    if (!Answers())
        throw CCameraError(CCameraError::Kind::Lost, fmt::format("{}: camera {} no longer answers; check its cable and power", what, m_nIndex));
    throw CCameraError(CCameraError::Kind::Failed, fmt::format("{}: {}", what, ErrorText(dwCode)));
}

void CCameraSession::FailStart(const std::string& what) const
{
    if (iidc_getlasterror(m_nIndex) == IIDC_ERR_FAIL && Answers())
        throw CCameraError(CCameraError::Kind::Busy,
                           fmt::format("{}: camera {} cannot stream now; another program may be streaming from it",
                                       what, m_nIndex));
    Fail(what);
}

bool CCameraSession::Answers() const
{
    // The current video format register exists on every IIDC camera.
    uint32_t dwValue = 0;
    return iidc1394_asyncreadquadlet(m_hCamera, iidc_reg::CUR_V_FORMAT, &dwValue, 4) == 4;
}

}  // namespace iidccam
