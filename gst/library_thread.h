// The plugin's hold on the library. The library wants the graphs of its
// cameras built, run and taken down on a thread that owns COM; GStreamer calls
// an element on whatever thread it likes. So every element and device
// provider of the process shares one library thread while any of them holds
// it: the first hold starts the thread, which starts the library unless the
// application already has; the last hold ends the thread, and the library if
// the thread started it. Work that builds or takes down capture graphs goes
// through Run; waiting for and locking frames happen on the caller's thread.
#pragma once

#include <functional>

namespace iidcgst {

class CLibraryHold {
 public:
  CLibraryHold();
  ~CLibraryHold();
  CLibraryHold(const CLibraryHold&) = delete;
  CLibraryHold& operator=(const CLibraryHold&) = delete;

  // Runs work on the library thread and waits until it is done; what work
  // throws is thrown here. Never called from work itself.
  void Run(const std::function<void()>& work) const;
};

}  // namespace iidcgst
