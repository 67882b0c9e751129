// Identity texts from the camera's configuration ROM: the unique chip
// identifier and the vendor and model names, read quadlet by quadlet.
#pragma once

#include "iidc.h"
#include "winapi.h"

// Writes the n least significant hexadecimal digits of value, most significant
// first, in lower case, without a terminator; nothing for n < 1.
void FormatHexDigits(DWORD value, int n, char* out);

// The code to record and the result of a string request: the number of text
// bytes written, or needed when buffer is null.
struct StringResult
{
    LONG nLength = 0;
    DWORD dwError = 0;   // 0: nothing to record
};

// Reads text id through the camera's property set into buffer (size bytes).
// Bytes already stored stay in the buffer when a read fails part-way.
StringResult ReadIdentityString(IKsPropertySet* pProps, DWORD id, BYTE* buffer, LONG size);
