// The records' byte images and the format-id helpers against the documented
// examples: what an application written against the interface relies on.
#include "iidc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

template <typename Record>
std::vector<unsigned char> Bytes(const Record& record) {
  std::vector<unsigned char> bytes(sizeof record);
  std::memcpy(bytes.data(), &record, sizeof record);
  return bytes;
}

uint32_t Quadlet(const std::vector<unsigned char>& bytes, size_t at) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

TEST(HeaderRecords, IsoTransmissionInfoIsOneLittleEndianWord) {
  // Format 0 mode 5 at 30 fps on channel 0 at S200.
  iidc1394_isotransmissioninfo info{};
  info.channel = 0;
  info.speed = 200;
  info.packetsize = 320;
  EXPECT_EQ(Quadlet(Bytes(info), 0), 0x0140C800u);

  info.channel = 15;
  info.packetsize = 0xFFFF;
  EXPECT_EQ(Quadlet(Bytes(info), 0), 0xFFFFC80Fu);
}

TEST(HeaderRecords, FormatInfoEndsWithMarkerModeFormatAndZero) {
  iidc_formatinfo info{};
  info.capabilities = IIDC_FORMATCAPS_STANDARD;
  info.color = IIDC_COLOR_YUV422;
  info.width = 1024;
  info.height = 768;
  info.marker = 1;
  info.mode = 3;
  info.format = 1;
  const auto bytes = Bytes(info);
  EXPECT_EQ(Quadlet(bytes, 0), 0x50000000u);
  EXPECT_EQ(Quadlet(bytes, 4), 2u);
  EXPECT_EQ(Quadlet(bytes, 8), 1024u);
  EXPECT_EQ(Quadlet(bytes, 12), 768u);
  EXPECT_EQ(Quadlet(bytes, 16), 0x00010301u);  // bytes 1, 3, 1, 0
}

TEST(HeaderRecords, AreaRecordsAreSignedQuadletsInOrder) {
  const iidc_area area{16, 8, 640, 480};
  const auto bytes = Bytes(area);
  EXPECT_EQ(Quadlet(bytes, 0), 16u);
  EXPECT_EQ(Quadlet(bytes, 4), 8u);
  EXPECT_EQ(Quadlet(bytes, 8), 640u);
  EXPECT_EQ(Quadlet(bytes, 12), 480u);

  const iidc_areainfo info{1280, 1024, 2, 1, 4, 2};
  const auto infoBytes = Bytes(info);
  EXPECT_EQ(Quadlet(infoBytes, 8), 2u);   // horizontal position unit
  EXPECT_EQ(Quadlet(infoBytes, 12), 1u);  // vertical position unit
  EXPECT_EQ(Quadlet(infoBytes, 16), 4u);  // horizontal size unit
  EXPECT_EQ(Quadlet(infoBytes, 20), 2u);  // vertical size unit

  const iidc_transferinfo transfer{-1, 2};
  EXPECT_EQ(Quadlet(Bytes(transfer), 0), 0xFFFFFFFFu);
  EXPECT_EQ(Quadlet(Bytes(transfer), 4), 2u);
}

TEST(HeaderRecords, FloatFieldsAreIeeeSingles) {
  iidc_featureinfo info{};
  info.id = IIDC_FEATURE_GAIN;
  info.flags = IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_UNITS;
  info.minimum = 5.0f;
  info.maximum = 200.0f;
  const auto bytes = Bytes(info);
  EXPECT_EQ(Quadlet(bytes, 0), 32u);
  EXPECT_EQ(Quadlet(bytes, 8), 0x60u);
  EXPECT_EQ(Quadlet(bytes, 12), 0x40A00000u);  // 5.0f
  EXPECT_EQ(Quadlet(bytes, 16), 0x43480000u);  // 200.0f

  iidc_framerateinfo rates{};
  rates.flags = 1;
  rates.lowest = 3.75f;
  rates.highest = 30.0f;
  EXPECT_EQ(Quadlet(Bytes(rates), 4), 0x40700000u);
  EXPECT_EQ(Quadlet(Bytes(rates), 8), 0x41F00000u);

  iidc_feature feature{};
  feature.id = IIDC_FEATURE_TRIGGER;
  feature.flags = IIDC_FEATURESTATE_VALUE1 | IIDC_FEATURESTATE_VALUE2;
  feature.value1 = 5.0f;
  feature.value2 = 3.0f;
  EXPECT_EQ(Quadlet(Bytes(feature), 4), 0x3000u);
  EXPECT_EQ(Quadlet(Bytes(feature), 12), 0x40400000u);

  const iidc_waitinfo wait{IIDC_WAIT_RING, IIDC_WAIT_INFINITE};
  EXPECT_EQ(Quadlet(Bytes(wait), 0), 4u);
  EXPECT_EQ(Quadlet(Bytes(wait), 4), 0xFFFFFFFFu);
}

TEST(HeaderFormatIds, BuildListedIds) {
  EXPECT_EQ(IIDC_FORMATID(1, 3, IIDC_COLOR_YUV422), 0xFF703102u);
  EXPECT_EQ(IIDC_FORMATID(0, 5, IIDC_COLOR_MONO8), 0xFF705000u);
  EXPECT_EQ(IIDC_FORMATID(IIDC_FORMAT_SCALABLE, 2, IIDC_COLOR_MONO16), 0xFF702705u);
  // Out-of-range parts stay inside their own fields.
  EXPECT_EQ(IIDC_FORMATID(0x17, 0x12, 0x1FF), 0xFF7027FFu);
}

TEST(HeaderFormatIds, ReadOnlyTheFieldsTheLibraryReads) {
  // The current id of a standard mode differs from its list entry; format and
  // mode agree.
  const uint32_t listed = IIDC_FORMATID(1, 3, IIDC_COLOR_YUV422);
  const uint32_t current = 0xFF603100u;
  EXPECT_NE(listed, current);
  EXPECT_EQ(IIDC_FORMATID_FORMAT(listed), IIDC_FORMATID_FORMAT(current));
  EXPECT_EQ(IIDC_FORMATID_MODE(listed), IIDC_FORMATID_MODE(current));
  EXPECT_EQ(IIDC_FORMATID_COLOR(current), 0);

  // Bits 11 and 15 are not part of the format and mode numbers.
  EXPECT_EQ(IIDC_FORMATID_FORMAT(0xFF708F00u), 7);
  EXPECT_EQ(IIDC_FORMATID_MODE(0xFF708F00u), 0);
  EXPECT_EQ(IIDC_FORMATID_COLOR(0xFF702705u), IIDC_COLOR_MONO16);
}

}  // namespace
