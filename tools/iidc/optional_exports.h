// The colour conversion and the live preview are the newest parts of the
// library; against a library that lacks them the tool still links and runs,
// and says so when they are asked for.
#pragma once

#include "iidc.h"

#pragma weak iidc_lockbits
#pragma weak iidc_setimagetowindow

namespace iidctool {

inline bool HaveLockBits()
{
    return &iidc_lockbits != nullptr;
}

inline bool HaveWindowPreview()
{
    return &iidc_setimagetowindow != nullptr;
}

}  // namespace iidctool
