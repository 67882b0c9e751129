#include "features/identity.h"

#include "iidc.h"
#include "registers/channel.h"
#include "registers/offsets.h"

namespace {

constexpr DWORD ROM_CHIP_ID_HI = 0x40C;     // low byte: top of the chip identifier
constexpr DWORD ROM_CHIP_ID_LO = 0x410;
constexpr DWORD ROM_UNIT_DIRECTORY_ENTRY = 0x424;   // fourth entry of the root directory
constexpr DWORD UNIT_DEPENDENT_ENTRY = 0xC;         // third entry of the unit directory
constexpr DWORD UNIQUE_ID_LENGTH = 10;

bool ReadRom(IKsPropertySet* pProps, DWORD romAddress, DWORD* pValue)
{
    return ReadQuadlet(pProps, iidc_reg::RomOffset(romAddress), pValue);
}

// Follows the directory entry at romAddress: its low 24 bits count quadlets
// from the entry's own address. Addresses wrap like register offsets, so a
// wild entry costs at most a failed read.
bool FollowEntry(IKsPropertySet* pProps, DWORD romAddress, DWORD* pTarget)
{
    DWORD entry = 0;
    if (!ReadRom(pProps, romAddress, &entry))
        return false;
    *pTarget = romAddress + 4 * (entry & 0xFFFFFF);
    return true;
}

StringResult ReadUniqueId(IKsPropertySet* pProps, BYTE* buffer, LONG size)
{
    if (!buffer)
        return {UNIQUE_ID_LENGTH, 0};
    if (size < static_cast<LONG>(UNIQUE_ID_LENGTH))
        return {0, IIDC_ERR_INVALID_PARAMETER};
    DWORD value = 0;
    if (!ReadRom(pProps, ROM_CHIP_ID_HI, &value))
        return {0, IIDC_ERR_FAIL};
    FormatHexDigits(value, 2, reinterpret_cast<char*>(buffer));
    if (!ReadRom(pProps, ROM_CHIP_ID_LO, &value))
        return {0, IIDC_ERR_FAIL};
    FormatHexDigits(value, 8, reinterpret_cast<char*>(buffer) + 2);
    return {UNIQUE_ID_LENGTH, 0};
}

StringResult ReadNameLeaf(IKsPropertySet* pProps, DWORD id, BYTE* buffer, LONG size)
{
    DWORD unitDirectory = 0, unitDependent = 0, leaf = 0, header = 0;
    const DWORD leafEntry = id == IIDC_STRING_VENDOR ? 8 : 0xC;
    if (!FollowEntry(pProps, ROM_UNIT_DIRECTORY_ENTRY, &unitDirectory) ||
        !FollowEntry(pProps, unitDirectory + UNIT_DEPENDENT_ENTRY, &unitDependent) ||
        !FollowEntry(pProps, unitDependent + leafEntry, &leaf) || !ReadRom(pProps, leaf, &header))
        return {0, IIDC_ERR_FAIL};
    // The text follows the header and two descriptor quadlets. A leaf shorter
    // than that holds an empty text.
    const LONG nQuadlets = static_cast<LONG>(header >> 16);
    const LONG nLength = nQuadlets >= 2 ? 4 * nQuadlets - 8 : 0;
    if (!buffer)
        return {nLength, 0};
    if (size < nLength)
        return {0, IIDC_ERR_INVALID_PARAMETER};
    for (LONG k = 0; k < nQuadlets - 2; ++k) {
        DWORD q = 0;
        if (!ReadRom(pProps, leaf + 12 + 4 * k, &q))
            return {0, IIDC_ERR_FAIL};
        for (int b = 0; b < 4; ++b)
            buffer[4 * k + b] = static_cast<BYTE>(q >> (24 - 8 * b));
    }
    return {nLength, 0};
}

} // namespace

void FormatHexDigits(DWORD value, int n, char* out)
{
    static constexpr char DIGITS[] = "0123456789abcdef";
    for (int i = n - 1; i >= 0; --i, value >>= 4)
        out[i] = DIGITS[value & 0xF];
}

StringResult ReadIdentityString(IKsPropertySet* pProps, DWORD id, BYTE* buffer, LONG size)
{
    switch (id) {
    case IIDC_STRING_UNIQUEID:
        return ReadUniqueId(pProps, buffer, size);
    case IIDC_STRING_VENDOR:
    case IIDC_STRING_MODEL:
        return ReadNameLeaf(pProps, id, buffer, size);
    default:
        return {0, IIDC_ERR_INVALID_PARAMETER};
    }
}
