// The one header that decides where the Windows declarations come from: the
// Windows SDK (or mingw-w64) headers on Windows, the emulation's headers
// elsewhere. Library code includes this and nothing platform-specific.
#pragma once

#ifdef _WIN32
// windows.h would otherwise define min and max as macros.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <dshow.h>  // strmif.h, control.h, amvideo.h, uuids.h, evcode.h, errors.h
#include "win/qedit.h"
#else
#include "emul/com_api.h"
#include "emul/com_interfaces.h"
#include "emul/dshow_interfaces.h"
#include "emul/dshow_types.h"
#include "emul/errors.h"
#include "emul/gdi.h"
#include "emul/guids.h"
#include "emul/kernel.h"
#include "emul/qedit.h"
#include "emul/types.h"
#endif
