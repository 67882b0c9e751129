// Allocation faults, for programs linked with the iidc_allocation_faults
// library, which replaces the global operator new and delete of the whole
// process (the library, the virtual cameras and the emulation included).
// While counting is on, every allocation on any thread is counted, and the
// one FailAllocation names fails: the throwing forms throw std::bad_alloc,
// the nothrow forms return null. Nothing else changes.
#pragma once

namespace emul {

// Makes the nth counted allocation from now fail (1-based); 0 makes none
// fail. Resets the count.
void FailAllocation(long nth);

// Turns counting on or off; off at start. A test turns it off around its
// own bookkeeping, so that only the calls under test meet the fault.
void CountAllocations(bool bOn);

// Allocations counted since the last FailAllocation.
long AllocationCount();

}  // namespace emul
