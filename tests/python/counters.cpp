// The emulation's live-object counters under C names, for ctypes.
#include "emul/fault.h"

#define IIDC_COUNTER extern "C" __attribute__((visibility("default"))) long

IIDC_COUNTER iidc_live_com_objects() { return emul::LiveComObjects(); }
IIDC_COUNTER iidc_live_kernel_handles() { return emul::LiveKernelHandles(); }
IIDC_COUNTER iidc_live_virtual_reservations() { return emul::LiveVirtualReservations(); }
