// Shared pieces of the converter tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/convert/convert_rows.h"

// Every kernel set this processor runs, the reference first and the fastest last.
std::vector<const CONVERT_ROWS*> AvailableRowSets();
// The SIMD sets only.
std::vector<const CONVERT_ROWS*> AvailableSimdRowSets();

// Memory whose usable bytes end exactly where an inaccessible page begins,
// so any access past the end faults.
class CGuardedBuffer
{
public:
    explicit CGuardedBuffer(size_t cbSize);
    ~CGuardedBuffer();
    CGuardedBuffer(const CGuardedBuffer&) = delete;
    CGuardedBuffer& operator=(const CGuardedBuffer&) = delete;

    uint8_t* Data() const { return m_pData; }
    size_t Size() const { return m_cbSize; }

private:
    uint8_t* m_pMapping = nullptr;
    size_t m_cbMapping = 0;
    uint8_t* m_pData = nullptr;
    size_t m_cbSize = 0;
};

// Deterministic pseudo-random bytes.
std::vector<uint8_t> RandomBytes(size_t cbSize, uint32_t nSeed);

// Index of the first differing byte, or npos.
size_t FirstDifference(const uint8_t* pA, const uint8_t* pB, size_t cbSize);

std::string CodingName(RawCoding coding);
