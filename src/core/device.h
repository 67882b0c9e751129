// Binding the index-th video input device of the system to its capture filter.
#pragma once

#include "winapi.h"

enum class BindResult
{
    Bound,          // *ppFilter holds the device's filter (one reference)
    NoEnumerator,   // the device enumerator or the category enumerator was not obtained
    NoDevice,       // fewer devices than index + 1, or the binding yielded no filter
};

// Creates the system device enumerator and the video input category's
// enumerator, skips the monikers before position index and binds the one at
// index to IBaseFilter. Every enumerator and moniker is released before return.
BindResult BindVideoInputDevice(LONG index, IBaseFilter** ppFilter);

// Counts the devices of the video input category; -1 when the enumerators
// cannot be created or the category is empty.
LONG CountVideoInputDevices();
