#include "convert_test_util.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

std::vector<const CONVERT_ROWS*> AvailableRowSets()
{
    std::vector<const CONVERT_ROWS*> sets = {&ReferenceRows()};
    for (const CONVERT_ROWS* pRows : AvailableSimdRowSets())
        sets.push_back(pRows);
    return sets;
}

std::vector<const CONVERT_ROWS*> AvailableSimdRowSets()
{
    std::vector<const CONVERT_ROWS*> sets;
    for (ConvertIsa isa : {ConvertIsa::Ssse3, ConvertIsa::Avx2, ConvertIsa::Avx512}) {
        if (const CONVERT_ROWS* pRows = FindConvertRows(isa))
            sets.push_back(pRows);
    }
    return sets;
}

CGuardedBuffer::CGuardedBuffer(size_t cbSize) : m_cbSize(cbSize)
{
    const size_t cbPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t cbData = (cbSize + cbPage - 1) / cbPage * cbPage;
    m_cbMapping = cbData + cbPage;
    void* p = mmap(nullptr, m_cbMapping, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::runtime_error("mmap failed");
    m_pMapping = static_cast<uint8_t*>(p);
    if (mprotect(m_pMapping + cbData, cbPage, PROT_NONE) != 0)
        throw std::runtime_error("mprotect failed");
    m_pData = m_pMapping + cbData - cbSize;
}

CGuardedBuffer::~CGuardedBuffer()
{
    munmap(m_pMapping, m_cbMapping);
}

std::vector<uint8_t> RandomBytes(size_t cbSize, uint32_t nSeed)
{
    std::vector<uint8_t> bytes(cbSize);
    uint32_t x = nSeed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

size_t FirstDifference(const uint8_t* pA, const uint8_t* pB, size_t cbSize)
{
    for (size_t i = 0; i < cbSize; ++i) {
        if (pA[i] != pB[i])
            return i;
    }
    return std::string::npos;
}

std::string CodingName(RawCoding coding)
{
    switch (coding) {
    case RawCoding::Mono8: return "Mono8";
    case RawCoding::Mono16: return "Mono16";
    case RawCoding::Yuv411: return "YUV411";
    case RawCoding::Yuv422: return "YUV422";
    case RawCoding::Yuv444: return "YUV444";
    }
    return "?";
}
