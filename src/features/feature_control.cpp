#include "features/feature_control.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/camera.h"
#include "features/feature_table.h"
#include "registers/channel.h"
#include "registers/offsets.h"

using iidc_reg::IIDC_BIT;

namespace {

// Fields of a feature register, in IIDC bit numbering.
constexpr DWORD LowField(DWORD q) { return q & 0xFFF; }            // bits 20-31
constexpr DWORD HighField(DWORD q) { return (q >> 12) & 0xFFF; }   // bits 8-19
constexpr DWORD TriggerModeField(DWORD q) { return (q >> 16) & 0xF; } // bits 12-15

constexpr DWORD BIT_PRESENCE = IIDC_BIT(0);
constexpr DWORD BIT_ABS_CONTROL = IIDC_BIT(1);
constexpr DWORD BIT_ONE_PUSH = IIDC_BIT(5);
constexpr DWORD BIT_ON_OFF = IIDC_BIT(6);
constexpr DWORD BIT_AUTO = IIDC_BIT(7);           // A_M_Mode; Trigger_Polarity in the trigger register
constexpr DWORD BIT_TRIGGER_POLARITY = IIDC_BIT(7);

float FloatFromBits(DWORD bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A float turned into a register field: truncated toward zero to a signed
// 32-bit integer, then masked by the caller. Values that have no such integer
// (not a number, out of range) become 0x80000000, as the processor's own
// conversion gives them, so their low bits are 0.
DWORD TruncateToField(float value)
{
    if (!(value > -2147483648.0f && value < 2147483648.0f))
        return 0x80000000u;
    return static_cast<DWORD>(static_cast<int32_t>(value));
}

// The absolute-value CSR of a feature, as a command-register offset.
bool ReadAbsoluteCsr(const CCamera& camera, DWORD id, DWORD* pCsr)
{
    DWORD quadletOffset = 0;
    if (!ReadQuadlet(camera, iidc_reg::ABS_CSR_OFFSET(id), &quadletOffset))
        return false;
    *pCsr = iidc_reg::CsrOffset(quadletOffset);
    return true;
}

bool ReadOrdinaryInfo(const CCamera& camera, iidc_featureinfo& info)
{
    DWORD q = 0;
    if (!ReadQuadlet(camera, iidc_reg::FEATURE_INQ(info.id), &q))
        return false;
    if (q & BIT_PRESENCE) {
        info.flags |= IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_UNITS;
        info.minimum = static_cast<float>(HighField(q));
        info.maximum = static_cast<float>(LowField(q));
    }
    if (q & BIT_ABS_CONTROL) {
        // Handled after presence: absolute control replaces the unit range.
        info.flags = (info.flags & ~IIDC_FEATURECAP_UNITS) | IIDC_FEATURECAP_ABSOLUTE;
        DWORD csr = 0, minimum = 0, maximum = 0;
        if (!ReadAbsoluteCsr(camera, info.id, &csr) || !ReadQuadlet(camera, csr, &minimum))
            return false;
        info.minimum = FloatFromBits(minimum);
        if (!ReadQuadlet(camera, csr + 4, &maximum))
            return false;
        info.maximum = FloatFromBits(maximum);
    }
    if (q & IIDC_BIT(3)) info.flags |= IIDC_FEATURECAP_ONEPUSH;
    if (q & IIDC_BIT(4)) info.flags |= IIDC_FEATURECAP_READOUT;
    if (q & IIDC_BIT(5)) info.flags |= IIDC_FEATURECAP_ONOFF;
    if (q & IIDC_BIT(6)) info.flags |= IIDC_FEATURECAP_AUTO;
    if (q & IIDC_BIT(7)) info.flags |= IIDC_FEATURECAP_MANUAL;
    return true;
}

bool ReadTriggerInfo(const CCamera& camera, iidc_featureinfo& info)
{
    DWORD q = 0;
    if (!ReadQuadlet(camera, iidc_reg::TRIGGER_INQ, &q))
        return false;
    if (q & BIT_PRESENCE)
        info.flags |= IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_UNITS;
    if (q & BIT_ABS_CONTROL)
        info.flags = (info.flags & ~IIDC_FEATURECAP_UNITS) | IIDC_FEATURECAP_ABSOLUTE;
    if (q & IIDC_BIT(4)) info.flags |= IIDC_FEATURECAP_READOUT;
    if (q & IIDC_BIT(5)) info.flags |= IIDC_FEATURECAP_ONOFF;
    if (q & IIDC_BIT(7)) info.flags |= IIDC_FEATURECAP_MANUAL;
    for (unsigned mode = 0; mode < 4; ++mode)
        if (q & IIDC_BIT(16 + mode))
            info.flags |= IIDC_FEATURECAP_TRIGGER_MODE0 << mode;
    return true;
}

} // namespace

bool ReadFeatureInfo(const CCamera& camera, iidc_featureinfo& info)
{
    info.reserved = 0;
    info.flags = 0;
    if (!IsKnownFeature(info.id))
        return false;
    return info.id == FEATURE_ID_TRIGGER ? ReadTriggerInfo(camera, info) : ReadOrdinaryInfo(camera, info);
}

FeatureResult ReadFeature(const CCamera& camera, iidc_feature& feature)
{
    if (!IsKnownFeature(feature.id))
        return FeatureResult::UnknownFeature;
    feature.flags = 0;
    const bool bTrigger = feature.id == FEATURE_ID_TRIGGER;
    DWORD q = 0;
    if (!ReadQuadlet(camera, bTrigger ? iidc_reg::TRIGGER_MODE : iidc_reg::FEATURE_CONTROL(feature.id), &q))
        return FeatureResult::ReadFailed;

    if (q & BIT_PRESENCE)
        feature.flags |= IIDC_FEATURESTATE_OFF | IIDC_FEATURESTATE_UNITS | (bTrigger ? 0 : IIDC_FEATURESTATE_MANUAL);
    if (q & BIT_ABS_CONTROL) {
        feature.flags = (feature.flags & ~IIDC_FEATURESTATE_UNITS) | IIDC_FEATURESTATE_ABSOLUTE;
        if (!bTrigger) {
            // The absolute value's CSR must answer, although the value itself
            // is not reported through the unit fields.
            DWORD csr = 0, value = 0;
            if (!ReadAbsoluteCsr(camera, feature.id, &csr) || !ReadQuadlet(camera, csr + 8, &value))
                return FeatureResult::ReadFailed;
        }
    }
    if (q & BIT_ON_OFF)
        feature.flags &= ~IIDC_FEATURESTATE_OFF;
    if (!bTrigger) {
        if (q & BIT_ONE_PUSH)
            feature.flags |= IIDC_FEATURESTATE_ONEPUSH;
        if (q & BIT_AUTO)
            feature.flags = (feature.flags & ~IIDC_FEATURESTATE_MANUAL) | IIDC_FEATURESTATE_AUTO;
    }

    if (bTrigger) {
        feature.value1 = static_cast<float>(LowField(q));
        feature.value2 = static_cast<float>(TriggerModeField(q));
        feature.flags |= IIDC_FEATURESTATE_VALUE1 | IIDC_FEATURESTATE_VALUE2;
    } else if (HasTwoValues(feature.id)) {
        // Reported whether or not the feature is present; in absolute mode the
        // two fields are still the ones of the status and control register.
        feature.value1 = static_cast<float>(LowField(q));
        feature.value2 = static_cast<float>(HighField(q));
        feature.flags |= IIDC_FEATURESTATE_VALUE1 | IIDC_FEATURESTATE_VALUE2;
    } else if (feature.flags & IIDC_FEATURESTATE_UNITS) {
        feature.value1 = static_cast<float>(LowField(q));
        feature.flags = (feature.flags | IIDC_FEATURESTATE_VALUE1) & ~IIDC_FEATURESTATE_VALUE2;
    }
    return FeatureResult::Ok;
}

uint32_t WriteFeature(const CCamera& camera, const iidc_feature& feature, bool* pbReadFailed)
{
    const DWORD offset = iidc_reg::FEATURE_CONTROL(feature.id);
    DWORD q = 0;
    *pbReadFailed = false;
    if (!ReadQuadlet(camera, offset, &q)) {
        *pbReadFailed = true;
        return 0;
    }
    const DWORD flags = feature.flags;
    const bool bAbsolute = (q & BIT_ABS_CONTROL) != 0;
    if (flags & IIDC_FEATURESTATE_OFF)
        q &= ~BIT_ON_OFF;
    else
        q |= BIT_ON_OFF;

    if (feature.id == FEATURE_ID_TRIGGER) {
        if (flags & IIDC_FEATURESTATE_POLARITY_LOW)
            q &= ~BIT_TRIGGER_POLARITY;
        else if (flags & IIDC_FEATURESTATE_POLARITY_HIGH)
            q |= BIT_TRIGGER_POLARITY;
        // The mode, when given, is written alone; the parameter only without it.
        if (flags & IIDC_FEATURESTATE_VALUE2) {
            if (!bAbsolute)
                q = (q & ~0x000F0000u) | ((TruncateToField(feature.value2) & 0xF) << 16);
        } else if ((flags & IIDC_FEATURESTATE_VALUE1) && !bAbsolute) {
            q = (q & ~0xFFFu) | (TruncateToField(feature.value1) & 0xFFF);
        }
    } else {
        if (flags & IIDC_FEATURESTATE_MANUAL) {
            q &= ~BIT_AUTO;
            if (!bAbsolute) {
                if (flags & IIDC_FEATURESTATE_VALUE1)
                    q = (q & ~0xFFFu) | (TruncateToField(feature.value1) & 0xFFF);
                if (flags & IIDC_FEATURESTATE_VALUE2)
                    q = (q & ~0xFFF000u) | ((TruncateToField(feature.value2) & 0xFFF) << 12);
            }
        }
        if (flags & IIDC_FEATURESTATE_AUTO)
            q |= BIT_AUTO;   // automatic wins over manual, after the values were written
        if (flags & IIDC_FEATURESTATE_ONEPUSH)
            q |= BIT_ONE_PUSH;
    }
    return WriteQuadlet(camera, offset, q) ? q : 0;
}
