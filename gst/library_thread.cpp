#include "library_thread.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "iidc.h"

namespace iidcgst {

namespace {

class CLibraryThread {
 public:
  CLibraryThread() : m_thread([this] { Loop(); })
  {
      // A library someone else started stays theirs to end.
      Run([this] { m_bStartedHere = iidc_getcameracount() == 0 && iidc_init(); });
  }

  ~CLibraryThread()
  {
      Run([this] {
          if (m_bStartedHere)
              iidc_uninit();
      });
      {
          std::lock_guard lock(m_mutex);
          m_bEnd = true;
      }
      m_wake.notify_one();
      m_thread.join();
  }

  CLibraryThread(const CLibraryThread&) = delete;
  CLibraryThread& operator=(const CLibraryThread&) = delete;

  void Run(const std::function<void()>& work)
  {
      std::packaged_task<void()> task(work);
      std::future<void> done = task.get_future();
      {
          std::lock_guard lock(m_mutex);
          m_tasks.push_back(&task);
      }
      m_wake.notify_one();
      done.get();
  }

 private:
  void Loop()
  {
      std::unique_lock lock(m_mutex);
      for (;;) {
          m_wake.wait(lock, [this] { return m_bEnd || !m_tasks.empty(); });
          if (m_tasks.empty())
              return;
          std::packaged_task<void()>* pTask = m_tasks.front();
          m_tasks.pop_front();
          lock.unlock();
          (*pTask)();
          lock.lock();
      }
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::packaged_task<void()>*> m_tasks;  // each owned by the Run that waits for it
  bool m_bEnd = false;
  bool m_bStartedHere = false;  // library thread only
  std::thread m_thread;         // last: starts once everything it uses exists
};

// The thread lives while g_nHolds > 0. Holds are counted under g_mutex, which
// is also held while the thread ends, so that a new first hold cannot start
// the library again before the old thread has ended it.
std::mutex g_mutex;
int g_nHolds = 0;
CLibraryThread* g_pThread = nullptr;

}  // namespace

CLibraryHold::CLibraryHold()
{
    std::lock_guard lock(g_mutex);
    if (g_nHolds == 0)
        g_pThread = new CLibraryThread;
    ++g_nHolds;
}

CLibraryHold::~CLibraryHold()
{
    std::lock_guard lock(g_mutex);
    if (--g_nHolds == 0) {
        delete g_pThread;
        g_pThread = nullptr;
    }
}

void CLibraryHold::Run(const std::function<void()>& work) const
{
    // Set before this hold was counted and kept while it lives.
    g_pThread->Run(work);
}

}  // namespace iidcgst
