#include "camera.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "feature_request.h"
#include "format_selection.h"
#include "names.h"
#include "session.h"

namespace iidcgst {

namespace {

// How long one wait for a frame lasts before the waiter looks at its stop
// flag and at whether the camera still answers.
constexpr std::chrono::milliseconds WAIT_SLICE{20};

// Runs work on the library thread; a plain refusal of the camera comes back
// as the kind given.
template <class Work>
void RunOnThread(const CLibraryHold& hold, CCameraError::Kind failed, const Work& work)
{
    hold.Run([&] {
        try {
            work();
        } catch (const CCameraError& error) {
            if (error.GetKind() != CCameraError::Kind::Failed)
                throw;
            throw CCameraError(failed, error.what());
        }
    });
}

bool SameMode(uint32_t a, uint32_t b)
{
    return IIDC_FORMATID_FORMAT(a) == IIDC_FORMATID_FORMAT(b) && IIDC_FORMATID_MODE(a) == IIDC_FORMATID_MODE(b);
}

}  // namespace

// The camera's frame buffers, owned here rather than by the library, so that
// a lent frame outlives the capture it came from.
class CRing {
 public:
  CRing(int32_t nBuffers, std::size_t cbFrame)
  {
      for (int32_t i = 0; i < nBuffers; ++i) {
          m_buffers.push_back(std::make_unique_for_overwrite<unsigned char[]>(cbFrame));
          m_pointers.push_back(m_buffers.back().get());
      }
  }
  unsigned char* const* Pointers() const { return m_pointers.data(); }
  const uint8_t* Buffer(int32_t i) const { return m_pointers[std::size_t(i)]; }

 private:
  std::vector<std::unique_ptr<unsigned char[]>> m_buffers;
  std::vector<unsigned char*> m_pointers;
};

// A lent frame: unlocks its buffer when the last holder lets go, unless the
// capture it came from has ended; keeps the buffer's memory either way.
class CLoan {
 public:
  CLoan(std::weak_ptr<CCamera> camera, uint64_t nRun, std::shared_ptr<CRing> pRing)
      : m_camera(std::move(camera)), m_nRun(nRun), m_pRing(std::move(pRing))
  {
  }
  // Runs where downstream lets go of a buffer: nothing may escape.
  ~CLoan()
  {
      try {
          if (const auto pCamera = m_camera.lock())
              pCamera->EndLoan(m_nRun);
      } catch (...) {
          // A lock that cannot be taken leaves the frame locked until the capture ends.
      }
  }
  CLoan(const CLoan&) = delete;
  CLoan& operator=(const CLoan&) = delete;

 private:
  std::weak_ptr<CCamera> m_camera;
  uint64_t m_nRun;
  std::shared_ptr<CRing> m_pRing;
};

std::vector<CameraName> CCamera::List()
{
    std::vector<CameraName> names;
    const CLibraryHold hold;
    hold.Run([&] {
        for (int i = 0; i < iidc_getcameracount(); ++i)
            names.push_back(CameraName{i, iidccam::CameraString(i, IIDC_STRING_UNIQUEID),
                                       iidccam::CameraString(i, IIDC_STRING_VENDOR),
                                       iidccam::CameraString(i, IIDC_STRING_MODEL)});
    });
    return names;
}

std::shared_ptr<CCamera> CCamera::Open(const std::string& selector, std::optional<BayerFilter> filterOverride)
{
    return std::shared_ptr<CCamera>(new CCamera(selector, filterOverride));
}

CCamera::CCamera(const std::string& selector, std::optional<BayerFilter> filterOverride)
{
    RunOnThread(m_hold, CCameraError::Kind::Failed, [&] {
        const int nCount = iidc_getcameracount();
        if (nCount == 0)
            throw CCameraError(CCameraError::Kind::NotFound,
                               "no camera found: connect a camera (or check IIDC_VCAM_PROFILE) and try again");
        m_pSession = std::make_unique<iidccam::CCameraSession>(nCount, selector);
        m_nIndex = m_pSession->Index();
        try {
            m_formats = iidccam::ReadFormats(*m_pSession);
            const uint32_t current = iidccam::ReadCurrentFormat(*m_pSession).id;
            std::stable_partition(m_formats.begin(), m_formats.end(), [&](const iidccam::FormatEntry& entry) {
                return SameMode(entry.id, current)
                       && (IIDC_FORMATID_FORMAT(current) != IIDC_FORMAT_SCALABLE
                           || IIDC_FORMATID_COLOR(entry.id) == IIDC_FORMATID_COLOR(current));
            });
            const auto read = iidccam::RegistersOf(m_pSession->Handle());
            for (const auto& entry : m_formats)
                m_filters.push_back(iidccam::ChooseFilter(read, entry.id, entry.info.color, filterOverride).sensor);
        } catch (...) {
            m_pSession.reset();  // closed here, on the library thread
            throw;
        }
    });
}

CCamera::~CCamera()
{
    try {
        m_hold.Run([this] {
            std::lock_guard lock(m_mutex);
            StopCapture();
            m_pSession.reset();
        });
    } catch (...) {
        // Nothing left to do for a camera that cannot be stopped.
    }
}

void CCamera::SetFeatures(const std::string& text)
{
    RunOnThread(m_hold, CCameraError::Kind::Settings, [&] {
        const auto assignments = iidccam::ParseAssignments(text);
        std::lock_guard lock(m_mutex);
        const auto requests = iidccam::FeatureRequests(*m_pSession, assignments);
        for (std::size_t i = 0; i < requests.size(); ++i)
            iidccam::SetFeature(*m_pSession, requests[i], assignments[i].text);
    });
}

void CCamera::Start(const StreamChoice& choice, int nBuffers)
{
    RunOnThread(m_hold, CCameraError::Kind::Settings, [&] {
        std::lock_guard lock(m_mutex);
        StopCapture();
        const iidc_handle h = m_pSession->Handle();
        try {
            SelectStream(choice);
            if (!iidc_preparecapture(h))
                m_pSession->Fail("preparing capture");
            const int32_t cbFrame = iidc_currentdataframebytes(h);
            if (cbFrame <= 0)
                m_pSession->Fail("reading the frame size");
            m_pRing = std::make_shared<CRing>(nBuffers, std::size_t(cbFrame));
            if (iidc_attachbuffer(h, m_pRing->Pointers(), int32_t(std::size_t(nBuffers) * sizeof(unsigned char*)))
                != nBuffers)
                m_pSession->Fail("putting the frame buffers in place");
            if (!iidc_capture(h, IIDC_TRUE))
                m_pSession->FailStart("starting capture");
            m_nBuffers = nBuffers;
            m_cbFrame = std::size_t(cbFrame);
            m_fRate = iidc_currentframerate(h);
            // RAW8 travels as Mono8 does.
            const int nColor = IIDC_FORMATID_COLOR(choice.id);
            m_bBottomUp = IIDC_FORMATID_FORMAT(choice.id) == IIDC_FORMAT_SCALABLE
                          && (nColor == IIDC_COLOR_MONO8 || nColor == iidccam::COLOR_RAW8) && !m_bMono8Flipped;
        } catch (...) {
            StopCapture();
            throw;
        }
    });
}

void CCamera::Stop()
{
    RunOnThread(m_hold, CCameraError::Kind::Failed, [this] {
        std::lock_guard lock(m_mutex);
        StopCapture();
    });
}

void CCamera::StopCapture()
{
    if (m_pSession) {
        const iidc_handle h = m_pSession->Handle();
        iidc_idle(h);
        iidc_releasebuffer(h);
        iidc_clearcapture(h);
    }
    m_pRing.reset();
    m_nBuffers = 0;
    m_nTaken = 0;
    m_nLastBuffer = 0;
    m_bLent = false;
    ++m_nRun;
}

void CCamera::SelectStream(const StreamChoice& choice)
{
    if (IIDC_FORMATID_FORMAT(choice.id) == IIDC_FORMAT_SCALABLE) {
        iidccam::SelectFormat7(*m_pSession, choice.id, choice.area);
        return;
    }
    iidccam::SelectStandardFormat(*m_pSession, choice.id, choice.fRate);
    m_bMono8Flipped = IIDC_FORMATID_COLOR(choice.id) == IIDC_COLOR_MONO8;
}

std::optional<CFrame> CCamera::NextFrame(bool bLend, std::chrono::milliseconds timeout,
                                         const std::atomic<bool>& bStop)
{
    const auto tStart = std::chrono::steady_clock::now();
    for (bool bWaited = false;; bWaited = true) {
        if (bStop)
            return std::nullopt;
        {
            std::lock_guard lock(m_mutex);
            iidc_transferinfo info{};
            if (!m_pRing)
                throw CCameraError(CCameraError::Kind::Failed, fmt::format("camera {} is not capturing", m_nIndex));
            if (!iidc_gettransferinfo(m_pSession->Handle(), &info, sizeof info))
                throw m_pSession->Answers() ? CCameraError(CCameraError::Kind::Failed, "the frame count failed")
                                            : LostError();
            // A new position has been filled. The count includes a frame still
            // being copied into the ring, but may miss one that came as
            // capture started; it tells of new frames only beyond a turn of
            // the ring.
            if (info.lastbuffer != m_nLastBuffer || info.framecount - m_nTaken > m_nBuffers) {
                if (auto frame = TakeNewest(info, bLend))
                    return frame;
                continue;  // refilled while being taken: take the newest again
            }
        }
        if (bWaited && !Answers())
            throw LostError();
        if (bWaited && timeout.count() > 0 && std::chrono::steady_clock::now() - tStart >= timeout)
            throw CCameraError(CCameraError::Kind::Timeout,
                               fmt::format("camera {} sent no frame within {} ms: check its trigger settings or "
                                           "give a longer timeout",
                                           m_nIndex, timeout.count()));
        // A frame that lands just before the wait starts is seen after it.
        const iidc_waitinfo wait{IIDC_WAIT_FRAME, uint32_t(WAIT_SLICE.count())};
        iidc_wait(m_pSession->Handle(), &wait, 0);
    }
}

std::optional<CFrame> CCamera::TakeNewest(const iidc_transferinfo& info, bool bLend)
{
    const iidc_handle h = m_pSession->Handle();
    if (info.lastbuffer < 0 || info.lastbuffer >= m_nBuffers)
        throw CCameraError(CCameraError::Kind::Failed, fmt::format("camera {} reports no frame buffer", m_nIndex));
    const bool bLent = bLend && !m_bLent && iidc_lockdata(h, info.lastbuffer);
    // The lock counts from the library's next choice of buffer: if the ring
    // came round to this one before, its frame may be a newer one by now.
    iidc_transferinfo after{};
    if (!iidc_gettransferinfo(h, &after, sizeof after) || after.framecount - info.framecount > SafeLead()) {
        if (bLent)
            iidc_unlockdata(h);
        return std::nullopt;
    }
    m_nTaken = info.framecount;
    m_nLastBuffer = info.lastbuffer;
    CFrame frame{m_pRing->Buffer(info.lastbuffer), m_cbFrame, nullptr, info.framecount};
    if (bLent) {
        m_bLent = true;
        frame.pLoan = std::make_shared<CLoan>(weak_from_this(), m_nRun, m_pRing);
    }
    return frame;
}

bool CCamera::Intact(const CFrame& frame)
{
    std::lock_guard lock(m_mutex);
    iidc_transferinfo info{};
    return iidc_gettransferinfo(m_pSession->Handle(), &info, sizeof info)
           && info.framecount - frame.nCountAtTake <= SafeLead();
}

CCameraError CCamera::LostError() const
{
    return CCameraError(CCameraError::Kind::Lost,
                        fmt::format("camera {} was lost during streaming: it no longer answers; check its cable and "
                                    "power",
                                    m_nIndex));
}

bool CCamera::Answers()
{
    std::lock_guard lock(m_mutex);
    return m_pSession->Answers();
}

void CCamera::EndLoan(uint64_t nRun)
{
    std::lock_guard lock(m_mutex);
    if (nRun == m_nRun && m_bLent) {
        iidc_unlockdata(m_pSession->Handle());
        m_bLent = false;
    }
}

}  // namespace iidcgst
