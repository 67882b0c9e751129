// Feature inquiry, state and control: short, fixed sequences of register
// reads and writes; nothing is cached between calls.
#pragma once

#include <cstdint>

#include "iidc.h"

class CCamera;

// Capability flags and range of a feature. False when the id is unknown or a
// register read fails; fields written before a failure keep their contents.
bool ReadFeatureInfo(const CCamera& camera, iidc_featureinfo& info);

enum class FeatureResult { Ok, UnknownFeature, ReadFailed };

// State flags and values of a feature.
FeatureResult ReadFeature(const CCamera& camera, iidc_feature& feature);

// One read-modify-write of the feature's status and control register. The
// quadlet written, or 0 when the read (*pbReadFailed set) or the write fails.
uint32_t WriteFeature(const CCamera& camera, const iidc_feature& feature, bool* pbReadFailed);
