// iidc dump as a user runs it: the profile it writes loads without edits and
// replays the camera register for register, and list and info show the same,
// for the built-in cameras, for cameras whose CSRs lie elsewhere and whose
// ROMs put their names where the interface's fixed walk does not look, and
// for colour cameras, whose filter the replay keeps.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <variant>

#include "exit_status.h"
#include "tool_fixture.h"
#include "vcam/model/camera_model.h"
#include "vcam/model/config_rom.h"
#include "vcam/model/offsets.h"
#include "vcam/model/profile_file.h"

using namespace iidctool;
using namespace vcam;

namespace {

using Quadlets = std::vector<uint32_t>;

// A directory entry: an immediate value, or (nBlock set) an offset to block nBlock.
struct Entry {
  uint32_t dwKey;
  uint32_t dwValue = 0;
  int nBlock = -1;
};
using Block = std::variant<std::vector<Entry>, Quadlets>;  // a directory, or a leaf's body

Quadlets TextLeaf(const std::string& text)
{
    Quadlets body = {0, 0};  // textual descriptor, minimal ASCII
    for (std::size_t i = 0; i < text.size(); i += 4) {
        uint32_t q = 0;
        for (std::size_t k = 0; k < 4; ++k)
            q |= uint32_t(i + k < text.size() ? uint8_t(text[i + k]) : 0) << (24 - 8 * k);
        body.push_back(q);
    }
    return body;
}

// The bus information block, then the blocks one after another from quadlet
// 5 on, block 0 being the root directory. CRCs are left at 0.
Quadlets BuildRom(uint64_t ullUniqueId, const std::vector<Block>& blocks)
{
    std::vector<uint32_t> starts;
    uint32_t nNext = 5;
    for (const Block& block : blocks) {
        starts.push_back(nNext);
        nNext += 1 + uint32_t(std::visit([](const auto& body) { return body.size(); }, block));
    }
    Quadlets rom = {0x04040000, BUS_NAME_1394, 0x20FF8002, uint32_t(ullUniqueId >> 32), uint32_t(ullUniqueId)};
    for (const Block& block : blocks) {
        const std::size_t nHeader = rom.size();
        if (const auto* pLeaf = std::get_if<Quadlets>(&block)) {
            rom.push_back(uint32_t(pLeaf->size()) << 16);
            rom.insert(rom.end(), pLeaf->begin(), pLeaf->end());
            continue;
        }
        const auto& entries = std::get<std::vector<Entry>>(block);
        rom.push_back(uint32_t(entries.size()) << 16);
        for (const Entry& e : entries) {
            const uint32_t nHere = uint32_t(rom.size());
            rom.push_back(e.dwKey << 24 | (e.nBlock < 0 ? e.dwValue : starts[std::size_t(e.nBlock)] - nHere));
        }
        EXPECT_EQ(nHeader + 1 + entries.size(), rom.size());
    }
    return rom;
}

const Entry SPEC{0x12, IIDC_UNIT_SPEC_ID}, VERSION{0x13, IIDC_UNIT_SW_VERSION_131}, VENDOR_ID{0x03, 0xABCDEF},
    CAPS{0x0C, 0x83C0}, COMMAND_BASE_ENTRY{0x40, 0x3C0000};

// The three layouts: the root directory's fourth entry, the unit directory's
// third or the unit-dependent directory's second is not what the fixed walk
// takes it for.
Quadlets ThreeEntryRoot(uint64_t id)
{
    return BuildRom(id, {std::vector<Entry>{VENDOR_ID, CAPS, {0xD1, 0, 2}}, Quadlets{1, 2},
                         std::vector<Entry>{SPEC, VERSION, {0xD4, 0, 3}},
                         std::vector<Entry>{COMMAND_BASE_ENTRY, {0x81, 0, 4}, {0x82, 0, 5}}, TextLeaf("Three Entry Co"),
                         TextLeaf("RT-3")});
}

Quadlets VendorLeafInRoot(uint64_t id)
{
    return BuildRom(id, {std::vector<Entry>{VENDOR_ID, {0x81, 0, 4}, {0x17, 0x1234}, {0xD1, 0, 1}},
                         std::vector<Entry>{SPEC, VERSION, {0xD4, 0, 2}},
                         std::vector<Entry>{COMMAND_BASE_ENTRY, {0x38, 0xFFFFFF}, {0x82, 0, 3}}, TextLeaf("LV-2"),
                         TextLeaf("Root Leaf Co")});
}

Quadlets FiveEntryUnit(uint64_t id)
{
    return BuildRom(id, {std::vector<Entry>{VENDOR_ID, CAPS, {0x8D, 0, 1}, {0xD1, 0, 2}}, Quadlets{1, 2},
                         std::vector<Entry>{SPEC, VERSION, {0x17, 0x42}, {0x81, 0, 5}, {0xD4, 0, 3}},
                         std::vector<Entry>{COMMAND_BASE_ENTRY, {0x81, 0, 4}, {0x82, 0, 6}}, TextLeaf("Five Entry Co"),
                         TextLeaf("unit model"), TextLeaf("UD-5")});
}

struct ReplayCase {
  std::string name;
  Profile profile;
  std::string vendor, model, vendorWalk, modelWalk;
};

std::vector<ReplayCase> Cases()
{
    const std::vector<Profile> builtIn = BuiltInCameraSet();
    // The colour camera with its Format 7 blocks and absolute-value CSRs at
    // addresses of real cameras.
    Profile moved = builtIn[0];
    moved.format7Modes[0].dwAddress = 0xF1F00000;
    moved.format7Modes[1].dwAddress = 0xF0F10000;
    for (FeatureProfile& f : moved.features)
        f.dwAbsAddress = f.bAbsolute ? 0xF0F20000 + 0x10 * f.nId : 0;
    const auto withRom = [&](Quadlets (*rom)(uint64_t)) {
        Profile p = moved;
        p.rawRom = rom(p.ullUniqueId);
        return p;
    };
    // Colour sensors: one reporting its filter in BAYER_TILE_MAPPING, and a
    // real camera's published description (Raw8 and Raw16 in Format 7) with
    // the filter its user gives.
    Profile tiled = moved;
    tiled.nColorFilter = FILTER_GBRG;
    tiled.bTileMapping = true;
    Profile real = LoadCameraSetFile(REAL_CAMERAS).at(1);
    real.nColorFilter = FILTER_GRBG;
    return {{"colour", builtIn[0], "Virtual Optics", "VC-1280C", "interface", "interface"},
            {"mono", builtIn[1], "Virtual Optics", "VM-1024M", "interface", "interface"},
            {"three-entry root", withRom(ThreeEntryRoot), "Three Entry Co", "RT-3", "keys", "keys"},
            {"vendor leaf in root", withRom(VendorLeafInRoot), "Root Leaf Co", "LV-2", "keys", "interface"},
            {"five-entry unit", withRom(FiveEntryUnit), "Five Entry Co", "UD-5", "keys", "keys"},
            {"tile mapping", tiled, "Virtual Optics", "VC-1280C", "interface", "interface"},
            {"real colour camera", real, "Point Grey Research", "Flea2 FL2-08S2C", "interface", "interface"}};
}

// Every command register, the whole ROM space, and every Format 7 block and
// absolute-value CSR the original points at: what the original can read, the
// replay reads the same.
void ExpectSameRegisters(CCameraModel& original, CCameraModel& replay)
{
    std::vector<uint32_t> offsets;
    uint32_t q = 0;
    for (uint32_t x = 0; x < 0x900; x += 4)
        offsets.push_back(x);
    offsets.push_back(BAYER_TILE_MAPPING);
    for (uint32_t x = 0; x < ROM_MAX_BYTES; x += 4)
        offsets.push_back(RomByteToOffset(x));
    for (uint32_t m = 0; m < 8; ++m)
        for (uint32_t x = 0; original.ReadQuadlet(VCsrInq7(m), &q) == VCAM_S_OK && q && x < F7_BLOCK_BYTES; x += 4)
            offsets.push_back(CsrQuadletToOffset(q) + x);
    for (uint32_t id = 0; id < FEATURE_ID_LIMIT; id += 4)
        for (uint32_t x = 0; original.ReadQuadlet(ABS_CSR_OFFSET_BASE + id, &q) == VCAM_S_OK && q && x < ABS_CSR_BYTES;
             x += 4)
            offsets.push_back(CsrQuadletToOffset(q) + x);
    for (uint32_t dwOffset : offsets) {
        uint32_t dwOriginal = 0, dwReplay = 0;
        if (original.ReadQuadlet(dwOffset, &dwOriginal) != VCAM_S_OK)
            continue;
        EXPECT_EQ(replay.ReadQuadlet(dwOffset, &dwReplay), VCAM_S_OK) << std::hex << dwOffset;
        EXPECT_EQ(dwReplay, dwOriginal) << std::hex << dwOffset;
    }
}

TEST_F(ToolTest, DumpReplaysTheCameraAndNamesComeFromTheWalkThatFindsThem)
{
    const std::filesystem::path frames = std::filesystem::path(testing::TempDir()) / "iidc-dump-test";
    for (const ReplayCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        SetActiveCameraSet({c.profile});
        const ToolRun info = Run({"info"});
        const ToolRun list = Run({"list", "--json"});
        ASSERT_EQ(info.nStatus, EXIT_OK) << info.err;
        const auto camera = nlohmann::json::parse(list.out).at("cameras").at(0);
        EXPECT_EQ(camera["vendor"], c.vendor);
        EXPECT_EQ(camera["model"], c.model);
        EXPECT_EQ(camera["nameWalk"], (nlohmann::json{{"vendor", c.vendorWalk}, {"model", c.modelWalk}}));

        const ToolRun dump = Run({"dump"});
        ASSERT_EQ(dump.nStatus, EXIT_OK) << dump.err;
        const std::vector<Profile> replay = ParseCameraSet(dump.out, "dump");
        ASSERT_EQ(replay.size(), 1u);
        EXPECT_EQ(replay[0].nColorFilter, c.profile.nColorFilter);
        EXPECT_EQ(replay[0].bTileMapping, c.profile.bTileMapping);
        CCameraModel replayModel(replay[0]);
        ExpectSameRegisters(*GetCameraModel(0), replayModel);

        SetActiveCameraSet(replay);
        EXPECT_EQ(Run({"info"}).out, info.out);
        EXPECT_EQ(Run({"list", "--json"}).out, list.out);
        const ToolRun grab = Run({"grab", "-n", "1", "-t", "raw", "-o", frames.string()});
        EXPECT_EQ(grab.nStatus, EXIT_OK) << grab.err;
    }
    std::filesystem::remove_all(frames);
}

}  // namespace
