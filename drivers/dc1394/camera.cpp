#include "drivers/dc1394/camera.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "vcam/model/formats.h"

namespace dc1394drv {
namespace {

using vcam::Result;

// The driver face's offsets count from the command-register base, which the
// IIDC standard puts at 0xF00000 of the initial register space; libdc1394's
// camera records where this camera's unit directory says it is.
constexpr std::uint64_t INITIAL_SPACE_BYTES = 0x10000000;
constexpr std::uint32_t CUR_V_FRM_RATE = 0x600, CUR_V_MODE = 0x604, CUR_V_FORMAT = 0x608;
// Fields of a Format 7 mode's CSR block.
constexpr std::uint64_t F7_IMAGE_POSITION = 0x008, F7_IMAGE_SIZE = 0x00C;

struct FormatMode {
  std::uint32_t nFormat, nMode;
};

// libdc1394 numbers the modes of Formats 0, 1, 2 and 7 in one run, each
// format's modes in order from its first.
std::optional<FormatMode> FromVideoMode(dc1394video_mode_t mode) {
  struct Range {
    std::uint32_t nFormat;
    dc1394video_mode_t first, last;
  };
  static constexpr Range RANGES[] = {
      {0, DC1394_VIDEO_MODE_160x120_YUV444, DC1394_VIDEO_MODE_640x480_MONO16},
      {1, DC1394_VIDEO_MODE_800x600_YUV422, DC1394_VIDEO_MODE_1024x768_MONO16},
      {2, DC1394_VIDEO_MODE_1280x960_YUV422, DC1394_VIDEO_MODE_1600x1200_MONO16},
      {vcam::FORMAT_7, DC1394_VIDEO_MODE_FORMAT7_0, DC1394_VIDEO_MODE_FORMAT7_7},
  };
  for (const Range& r : RANGES) {
    if (mode >= r.first && mode <= r.last) return FormatMode{r.nFormat, static_cast<std::uint32_t>(mode - r.first)};
  }
  return std::nullopt;
}

dc1394video_mode_t ToVideoMode(std::uint32_t nFormat, std::uint32_t nMode) {
  static constexpr dc1394video_mode_t FIRST[] = {DC1394_VIDEO_MODE_160x120_YUV444, DC1394_VIDEO_MODE_800x600_YUV422,
                                                 DC1394_VIDEO_MODE_1280x960_YUV422};
  return static_cast<dc1394video_mode_t>(FIRST[nFormat] + static_cast<int>(nMode));
}

std::uint32_t ReadLe32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// The IIDC register masks have bit 0 as their top bit.
constexpr std::uint32_t Bit(std::uint32_t n) { return 0x80000000u >> n; }

// Unmaps whatever the process has mapped of the file fd is open on (found by
// device and inode in /proc/self/maps).
void UnmapFile(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return;
  std::FILE* pMaps = std::fopen("/proc/self/maps", "re");
  if (pMaps == nullptr) return;
  std::vector<std::pair<std::uintptr_t, std::uintptr_t>> ranges;
  char szLine[512];
  while (std::fgets(szLine, sizeof szLine, pMaps) != nullptr) {
    std::uintptr_t start = 0, end = 0;
    unsigned nMajor = 0, nMinor = 0;
    std::uint64_t qwInode = 0;
    if (std::sscanf(szLine, "%" SCNxPTR "-%" SCNxPTR " %*s %*s %x:%x %" SCNu64, &start, &end, &nMajor, &nMinor,
                    &qwInode) == 5 &&
        makedev(nMajor, nMinor) == st.st_dev && qwInode == st.st_ino && qwInode != 0)
      ranges.emplace_back(start, end);
  }
  std::fclose(pMaps);
  for (const auto& [start, end] : ranges) munmap(reinterpret_cast<void*>(start), end - start);
}

}  // namespace

std::shared_ptr<CDc1394Camera> CDc1394Camera::Open(ContextPtr pContext, std::uint64_t qwGuid, int nUnit) {
  const Dc1394Functions* fn = Dc1394();
  if (fn == nullptr || !pContext) return nullptr;
  dc1394camera_t* pCamera = fn->pfnCameraNewUnit(pContext.get(), qwGuid, nUnit);
  if (pCamera == nullptr) return nullptr;
  return std::shared_ptr<CDc1394Camera>(new CDc1394Camera(std::move(pContext), pCamera));
}

CDc1394Camera::CDc1394Camera(ContextPtr pContext, dc1394camera_t* pCamera)
    : m_fn(*Dc1394()), m_pContext(std::move(pContext)), m_pCamera(pCamera) {}

// Freeing the camera closes its files, which gives back to the bus whatever
// they still held (channel, bandwidth) even where the camera was lost.
CDc1394Camera::~CDc1394Camera() {
  StopCapture();
  m_fn.pfnCameraFree(m_pCamera);
  if (m_nDeadRingFile >= 0) close(m_nDeadRingFile);
}

// libdc1394 stops capture with an ioctl on the ring's file and gives up at
// its failure, which is every ioctl once the camera has left: the file, its
// mapping and the card's receive context it holds would stay until the
// process ends, and the card has only a few. So the driver lets go of them
// itself: the mapping goes, and /dev/null takes the file's descriptor, so
// that libdc1394's later calls on it fail harmlessly and no other file can
// be given that number while libdc1394 still holds it.
void CDc1394Camera::ReleaseLostRing() {
  const int fd = m_nCaptureFile;
  const int fdNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (fd < 0 || fdNull < 0) {
    if (fdNull >= 0) close(fdNull);
    return;
  }
  UnmapFile(fd);
  if (dup2(fdNull, fd) == fd) m_nDeadRingFile = fd;
  close(fdNull);
}

bool CDc1394Camera::CheckLost() {
  // libdc1394 keeps the kernel's answer in errno: a node that has left the
  // bus answers ENODEV to every request on its file.
  if (errno == ENODEV) m_bLost.store(true, std::memory_order_release);
  return IsLost();
}

Result CDc1394Camera::Failure() { return CheckLost() ? vcam::VCAM_E_NOT_CONNECTED : vcam::VCAM_E_FAIL; }

Result CDc1394Camera::ReadQuadlet(std::uint32_t dwOffset, std::uint32_t* pdwValue) {
  std::lock_guard lock(m_mutex);
  if (IsLost()) return vcam::VCAM_E_NOT_CONNECTED;
  const std::uint64_t qwAddress = static_cast<std::uint32_t>(m_pCamera->command_registers_base + dwOffset);
  if (dwOffset % 4 != 0 || qwAddress >= INITIAL_SPACE_BYTES) return vcam::VCAM_E_ADDRESS;
  errno = 0;
  return m_fn.pfnGetRegisters(m_pCamera, qwAddress, pdwValue, 1) == DC1394_SUCCESS ? vcam::VCAM_S_OK : Failure();
}

Result CDc1394Camera::WriteQuadlet(std::uint32_t dwOffset, std::uint32_t dwValue) {
  std::lock_guard lock(m_mutex);
  if (IsLost()) return vcam::VCAM_E_NOT_CONNECTED;
  const std::uint64_t qwAddress = static_cast<std::uint32_t>(m_pCamera->command_registers_base + dwOffset);
  if (dwOffset % 4 != 0 || qwAddress >= INITIAL_SPACE_BYTES) return vcam::VCAM_E_ADDRESS;
  errno = 0;
  return m_fn.pfnSetRegisters(m_pCamera, qwAddress, &dwValue, 1) == DC1394_SUCCESS ? vcam::VCAM_S_OK : Failure();
}

bool CDc1394Camera::Format7Mode(dc1394video_mode_t* pMode) {
  errno = 0;
  return m_fn.pfnGetMode(m_pCamera, pMode) == DC1394_SUCCESS && *pMode >= DC1394_VIDEO_MODE_FORMAT7_MIN &&
         *pMode <= DC1394_VIDEO_MODE_FORMAT7_MAX;
}

Result CDc1394Camera::ApplyAreaRequest(const void* pRequest, std::size_t cbRequest) {
  if (pRequest == nullptr) return vcam::VCAM_E_POINTER;
  if (cbRequest < vcam::AREA_REQUEST_BYTES) return vcam::VCAM_E_INVALIDARG;
  const auto* p = static_cast<const unsigned char*>(pRequest);
  const std::uint32_t nLeft = ReadLe32(p + vcam::AREA_LEFT_AT), nTop = ReadLe32(p + vcam::AREA_TOP_AT);
  const std::uint32_t nWidth = ReadLe32(p + vcam::AREA_WIDTH_AT), nHeight = ReadLe32(p + vcam::AREA_HEIGHT_AT);
  std::lock_guard lock(m_mutex);
  if (IsLost()) return vcam::VCAM_E_NOT_CONNECTED;
  dc1394video_mode_t mode{};
  if (!Format7Mode(&mode)) return CheckLost() ? vcam::VCAM_E_NOT_CONNECTED : vcam::VCAM_E_NOT_FOUND;
  std::uint32_t nMaxW = 0, nMaxH = 0, nUnitW = 0, nUnitH = 0, nPosW = 0, nPosH = 0, nOldLeft = 0, nOldTop = 0;
  errno = 0;
  if (m_fn.pfnF7GetMaxImageSize(m_pCamera, mode, &nMaxW, &nMaxH) != DC1394_SUCCESS ||
      m_fn.pfnF7GetUnitSize(m_pCamera, mode, &nUnitW, &nUnitH) != DC1394_SUCCESS ||
      m_fn.pfnF7GetUnitPosition(m_pCamera, mode, &nPosW, &nPosH) != DC1394_SUCCESS ||
      m_fn.pfnF7GetImagePosition(m_pCamera, mode, &nOldLeft, &nOldTop) != DC1394_SUCCESS)
    return Failure();
  // A camera that leaves UNIT_POSITION_INQ at zero positions in size units.
  nPosW = nPosW != 0 ? nPosW : nUnitW;
  nPosH = nPosH != 0 ? nPosH : nUnitH;
  // The maximum sizes are 16-bit fields, so a rectangle that fits them fits
  // the 16-bit position and size registers too.
  const bool bFits = nUnitW != 0 && nUnitH != 0 && nPosW != 0 && nPosH != 0 && nWidth > 0 && nHeight > 0 &&
                     nWidth % nUnitW == 0 && nHeight % nUnitH == 0 && nLeft % nPosW == 0 && nTop % nPosH == 0 &&
                     std::uint64_t{nLeft} + nWidth <= nMaxW && std::uint64_t{nTop} + nHeight <= nMaxH;
  if (!bFits) return vcam::VCAM_E_INVALIDARG;
  // The camera checks each write against the other field in force, so the
  // area moves to the corner before it takes its new size.
  const auto write = [&](std::uint64_t qwField, std::uint32_t dwValue) {
    return m_fn.pfnSetFormat7Register(m_pCamera, mode, qwField, dwValue) == DC1394_SUCCESS;
  };
  errno = 0;
  const bool bDone = ((nOldLeft == 0 && nOldTop == 0) || write(F7_IMAGE_POSITION, 0)) &&
                     write(F7_IMAGE_SIZE, nWidth << 16 | nHeight) && write(F7_IMAGE_POSITION, nLeft << 16 | nTop);
  return bDone ? vcam::VCAM_S_OK : Failure();
}

std::vector<vcam::StandardModeInfo> CDc1394Camera::EnumerateStandardModes() {
  std::lock_guard lock(m_mutex);
  std::vector<vcam::StandardModeInfo> modes;
  dc1394video_modes_t list{};
  errno = 0;
  if (IsLost() || m_fn.pfnGetSupportedModes(m_pCamera, &list) != DC1394_SUCCESS) {
    CheckLost();
    return modes;
  }
  for (std::uint32_t i = 0; i < list.num && i < DC1394_VIDEO_MODE_NUM; ++i) {
    const std::optional<FormatMode> fm = FromVideoMode(list.modes[i]);
    if (!fm || fm->nFormat == vcam::FORMAT_7) continue;
    const std::optional<vcam::StandardMode> row = vcam::LookUpStandardMode(fm->nFormat, fm->nMode);
    dc1394framerates_t rates{};
    if (!row || m_fn.pfnGetSupportedFramerates(m_pCamera, list.modes[i], &rates) != DC1394_SUCCESS) continue;
    std::uint32_t dwRates = 0;
    for (std::uint32_t r = 0; r < rates.num && r < DC1394_FRAMERATE_NUM; ++r)
      dwRates |= Bit(static_cast<std::uint32_t>(rates.framerates[r] - DC1394_FRAMERATE_MIN));
    modes.push_back({fm->nFormat, fm->nMode, *row, dwRates, vcam::FrameBytes(row->nColor, row->nWidth, row->nHeight)});
  }
  return modes;
}

Result CDc1394Camera::SelectStandardMode(std::uint32_t nFormat, std::uint32_t nMode, std::int64_t llInterval) {
  for (const vcam::StandardModeInfo& mode : EnumerateStandardModes()) {
    if (mode.nFormat != nFormat || mode.nMode != nMode) continue;
    const std::optional<unsigned> code = vcam::RateCodeForInterval(llInterval, mode.dwRates);
    if (!code) return vcam::VCAM_E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    if (IsLost()) return vcam::VCAM_E_NOT_CONNECTED;
    errno = 0;
    const bool bDone =
        m_fn.pfnSetMode(m_pCamera, ToVideoMode(nFormat, nMode)) == DC1394_SUCCESS &&
        m_fn.pfnSetFramerate(m_pCamera, static_cast<dc1394framerate_t>(DC1394_FRAMERATE_MIN + static_cast<int>(*code))) ==
            DC1394_SUCCESS;
    return bDone ? vcam::VCAM_S_OK : Failure();
  }
  return IsLost() ? vcam::VCAM_E_NOT_CONNECTED : vcam::VCAM_E_INVALIDARG;
}

vcam::StreamInfo CDc1394Camera::GetStream() {
  vcam::StreamInfo s;
  std::uint32_t dwFormat = 0, dwMode = 0, dwRate = 0;
  if (vcam::Failed(ReadQuadlet(CUR_V_FORMAT, &dwFormat)) || vcam::Failed(ReadQuadlet(CUR_V_MODE, &dwMode))) return s;
  s.nFormat = dwFormat >> 29;
  s.nMode = dwMode >> 29;
  if (s.nFormat == vcam::FORMAT_7) {
    std::lock_guard lock(m_mutex);
    const auto mode = static_cast<dc1394video_mode_t>(DC1394_VIDEO_MODE_FORMAT7_MIN + static_cast<int>(s.nMode));
    dc1394color_coding_t coding{};
    std::uint32_t cbPacket = 0;
    errno = 0;
    if (IsLost() || m_fn.pfnF7GetColorCoding(m_pCamera, mode, &coding) != DC1394_SUCCESS ||
        m_fn.pfnF7GetImagePosition(m_pCamera, mode, &s.nLeft, &s.nTop) != DC1394_SUCCESS ||
        m_fn.pfnF7GetImageSize(m_pCamera, mode, &s.nWidth, &s.nHeight) != DC1394_SUCCESS ||
        m_fn.pfnF7GetPacketSize(m_pCamera, mode, &cbPacket) != DC1394_SUCCESS) {
      CheckLost();
      return vcam::StreamInfo{};
    }
    s.nColor = vcam::StreamColor(static_cast<std::uint32_t>(coding - DC1394_COLOR_CODING_MIN));
    s.nBitsPerPixel = vcam::BitsPerPixel(s.nColor);
    s.cbFrame = vcam::FrameBytes(s.nColor, s.nWidth, s.nHeight);
    s.cbPacket = cbPacket;
    const std::uint64_t nPackets = cbPacket != 0 ? (s.cbFrame + cbPacket - 1) / cbPacket : 0;
    s.llInterval = std::max<std::int64_t>(1, static_cast<std::int64_t>(nPackets) * vcam::ISO_CYCLE_100NS);
    s.bValid = s.nBitsPerPixel != 0 && s.cbFrame != 0 && cbPacket != 0;
    return s;
  }
  const std::optional<vcam::StandardMode> row = vcam::LookUpStandardMode(s.nFormat, s.nMode);
  if (!row || vcam::Failed(ReadQuadlet(CUR_V_FRM_RATE, &dwRate))) return s;
  const unsigned nRate = dwRate >> 29;
  s.rateCode = nRate;
  s.nColor = row->nColor;
  s.nWidth = row->nWidth;
  s.nHeight = row->nHeight;
  s.nBitsPerPixel = row->nBitsPerPixel;
  s.cbFrame = vcam::FrameBytes(row->nColor, row->nWidth, row->nHeight);
  s.llInterval = vcam::IntervalFromCode(nRate);
  s.cbPacket = vcam::StandardPacketBytes(s.nFormat, s.nMode, nRate).value_or(0);
  for (const vcam::StandardModeInfo& mode : EnumerateStandardModes()) {
    if (mode.nFormat == s.nFormat && mode.nMode == s.nMode) s.bValid = (mode.dwRates & Bit(nRate)) != 0;
  }
  return s;
}

Result CDc1394Camera::StartCapture(std::uint32_t nBuffers) {
  std::lock_guard lock(m_mutex);
  if (IsLost()) return vcam::VCAM_E_NOT_CONNECTED;
  if (m_bCapturing) return vcam::VCAM_S_OK;
  errno = 0;
  if (m_fn.pfnCaptureSetup(m_pCamera, nBuffers, DC1394_CAPTURE_FLAGS_DEFAULT) != DC1394_SUCCESS)
    return CheckLost() ? vcam::VCAM_E_NOT_CONNECTED : DC1394_E_NO_RESOURCES;
  m_bCapturing = true;
  m_nCaptureFile = m_fn.pfnCaptureGetFileno(m_pCamera);
  errno = 0;
  if (m_fn.pfnSetTransmission(m_pCamera, DC1394_ON) != DC1394_SUCCESS) {
    const Result r = Failure();
    m_fn.pfnCaptureStop(m_pCamera);
    m_bCapturing = false;
    m_nCaptureFile = -1;
    return r;
  }
  return vcam::VCAM_S_OK;
}

void CDc1394Camera::StopCapture() {
  std::lock_guard lock(m_mutex);
  if (!m_bCapturing) return;
  if (IsLost()) {
    ReleaseLostRing();
  } else {
    m_fn.pfnSetTransmission(m_pCamera, DC1394_OFF);
  }
  m_fn.pfnCaptureStop(m_pCamera);
  m_bCapturing = false;
  m_nCaptureFile = -1;
}

dc1394error_t CDc1394Camera::Dequeue(dc1394video_frame_t** ppFrame) {
  errno = 0;
  const dc1394error_t err = m_fn.pfnCaptureDequeue(m_pCamera, DC1394_CAPTURE_POLICY_POLL, ppFrame);
  if (err != DC1394_SUCCESS) CheckLost();
  return err;
}

void CDc1394Camera::Enqueue(dc1394video_frame_t* pFrame) { m_fn.pfnCaptureEnqueue(m_pCamera, pFrame); }

}  // namespace dc1394drv
