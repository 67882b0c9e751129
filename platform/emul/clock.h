// Test control of the kernel's clock. With virtual time on, Sleep returns at
// once and moves the clock on by the time asked for, and GetTickCount reads
// that clock, so code that sleeps runs at full speed in tests and its waits
// stay observable. Timed waits on events keep using real time: they end
// early when another thread sets the event.
#pragma once

#include "emul/types.h"

namespace emul {

// Switches virtual time on or off; switching on starts the clock at the
// current tick count and clears the sleep total.
void UseVirtualTime(bool bOn);

// Milliseconds slept through Sleep since virtual time was switched on.
ULONGLONG VirtualSleepTotal();

}  // namespace emul
