// Walking filters and pins through their COM interfaces only, for the graph
// manager and the capture graph builder (the filters may be anyone's).
#pragma once

#include <vector>

#include "winapi.h"
#include "base/com_ptr.h"

namespace emul {

// The filter's pins in enumeration order; empty when they cannot be listed.
std::vector<ComPtr<IPin>> FilterPins(IBaseFilter* pFilter);

// The pin's filter, or null.
ComPtr<IBaseFilter> PinFilter(IPin* pPin);

// The pin's direction; false when it cannot be asked.
bool PinDirection(IPin* pPin, PIN_DIRECTION* pDir);

// The pin connected to pPin, or null.
ComPtr<IPin> ConnectedPin(IPin* pPin);

// True when one of the pin's media types, or its connection's, has this
// major type.
bool PinHasMajorType(IPin* pPin, const GUID& majortype);

}  // namespace emul
