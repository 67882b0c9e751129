// The IIDC features the library knows: the id is the byte offset of the
// feature's registers inside each feature register block.
#pragma once

#include <cstdint>

inline constexpr uint32_t FEATURE_ID_TRIGGER = 48;
inline constexpr uint32_t FEATURE_ID_WHITE_BALANCE = 12;
inline constexpr uint32_t FEATURE_ID_TEMPERATURE = 44;

// Ids 0 to 48 and 128 to 140 in steps of 4.
constexpr bool IsKnownFeature(uint32_t id)
{
    return id % 4 == 0 && (id <= 48 || (id >= 128 && id <= 140));
}

// White balance and temperature carry two 12-bit values in their register.
constexpr bool HasTwoValues(uint32_t id)
{
    return id == FEATURE_ID_WHITE_BALANCE || id == FEATURE_ID_TEMPERATURE;
}
