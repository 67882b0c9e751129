// Shared pieces of the reliability tests: what "nothing leaked" means on the
// emulated platform, and a camera test that brings a camera back to a closed
// state whatever a failed call sequence left behind.
#pragma once

#include <gtest/gtest.h>

#include <ostream>

#include "../support/camera_fixture.h"
#include "emul/fault.h"
#include "iidc.h"

// The platform resources a camera library can leak: COM objects, kernel
// handles and page reservations.
struct CLiveResources {
  long nComObjects = emul::LiveComObjects();
  long nHandles = emul::LiveKernelHandles();
  long nReservations = emul::LiveVirtualReservations();

  bool operator==(const CLiveResources&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const CLiveResources& r) {
  return os << "{COM objects " << r.nComObjects << ", handles " << r.nHandles << ", reservations "
            << r.nReservations << "}";
}

class CReliabilityTest : public CCameraTest {
 protected:
  // Stops, gives back and closes whatever state a camera is in; null is
  // ignored. bAttached: the ring, if any, holds the caller's buffers, which
  // iidc_freeframe would free. Every step may fail: this is clean-up after
  // faults, and iidc_close has to cope with what is left.
  static void CloseAny(iidc_handle h, bool bAttached = false) {
    if (h == nullptr) {
      return;
    }
    iidc_idle(h);
    if (bAttached) {
      iidc_releasebuffer(h);
    } else {
      iidc_freeframe(h);
    }
    iidc_close(h);
  }
};
