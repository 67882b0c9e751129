// grab as a user runs it: files of each type, single-shot and continuous,
// and the distinct exit statuses of a silent camera and of one that
// disappears in the middle of a grab.
#include <gtest/gtest.h>


#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "../support/bayer_colours.h"
#include "exit_status.h"
#include "tool_fixture.h"
#include "vcam/filter/test_support.h"
#include "vcam/model/camera_set.h"
#include "vcam/model/pattern.h"

using namespace iidctool;

namespace {

class GrabTest : public ToolTest {
 protected:
  void SetUp() override
  {
      ToolTest::SetUp();
      m_dir = std::filesystem::temp_directory_path()
              / ("iidc-grab-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
      std::filesystem::remove_all(m_dir);
  }
  void TearDown() override
  {
      std::filesystem::remove_all(m_dir);
      ToolTest::TearDown();
  }

  std::vector<std::string> Files() const
  {
      std::vector<std::string> names;
      if (std::filesystem::exists(m_dir))
          for (const auto& entry : std::filesystem::directory_iterator(m_dir))
              names.push_back(entry.path().filename().string());
      std::sort(names.begin(), names.end());
      return names;
  }

  std::string Header(const std::string& name, std::size_t nBytes) const
  {
      std::ifstream file(m_dir / name, std::ios::binary);
      std::string bytes(nBytes, '\0');
      file.read(bytes.data(), std::streamsize(nBytes));
      return bytes;
  }

  std::filesystem::path m_dir;
};

TEST_F(GrabTest, EachFileType)
{
    struct {
      const char* pszType;
      const char* pszName;
      std::string header;
    } cases[] = {{"png", "f-0001.png", "\x89PNG"}, {"bmp", "f-0001.bmp", "BM"}, {"raw", "f-0001.raw", ""}};
    for (const auto& c : cases) {
        const ToolRun run = Run({"grab", "-c", "1", "-n", "1", "-t", c.pszType, "--prefix", "f", "-o", m_dir.string()});
        ASSERT_EQ(run.nStatus, EXIT_OK) << c.pszType << ": " << run.err;
        EXPECT_EQ(Header(c.pszName, c.header.size()), c.header) << c.pszType;
    }
    EXPECT_EQ(std::filesystem::file_size(m_dir / "f-0001.raw"), 640u * 480u);
    EXPECT_EQ(std::filesystem::file_size(m_dir / "f-0001.bmp"), 54u + 640u * 480u * 3u);
}

TEST_F(GrabTest, GreyFramesAsNetpbmFilesShowTheCameraPatternTheRightWayUp)
{
    const ToolRun run = Run({"grab", "-c", "1", "--count", "3", "--type", "pnm", "--output", m_dir.string()});
    ASSERT_EQ(run.nStatus, EXIT_OK) << run.err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"frame-0001.pgm", "frame-0002.pgm", "frame-0003.pgm"}));
    EXPECT_EQ(std::filesystem::file_size(m_dir / "frame-0003.pgm"), 15u + 640u * 480u);
    EXPECT_NE(run.out.find("saved 3 frames"), std::string::npos);
    EXPECT_NE(run.err.find("3/3"), std::string::npos);
    const std::string header = "P5\n640 480\n255\n";
    const std::string file = Header("frame-0001.pgm", header.size() + 640 * 480);
    ASSERT_EQ(file.substr(0, header.size()), header);
    const auto* pPixels = reinterpret_cast<const uint8_t*>(file.data() + header.size());
    // The top row starts with the frame's sequence number.
    const uint32_t nSequence = vcam::FrameSequence(std::span<const uint8_t>(pPixels, 4));
    for (uint32_t y : {0u, 1u, 240u, 479u})
        for (uint32_t x : {100u, 639u})
            EXPECT_EQ(pPixels[y * 640 + x], vcam::PatternAt(x, y, nSequence).y) << x << "," << y;
}

// Single shots as well as continuous capture; colour frames raw as the
// camera sends them, and --json naming each file with the number of the frame
// in it, which the camera wrote into the frame's first bytes.
TEST_F(GrabTest, SingleShotAndColourFramesWithTheirNumbers)
{
    const ToolRun run = Run({"grab", "-c", "1", "--single", "-n", "2", "-t", "raw", "-o", m_dir.string()});
    EXPECT_EQ(run.nStatus, EXIT_OK) << run.err;
    EXPECT_EQ(Files().size(), 2u);
    const ToolRun raw = Run({"grab", "-n", "4", "-t", "raw", "--prefix", "yuv", "--json", "-o", m_dir.string()});
    ASSERT_EQ(raw.nStatus, EXIT_OK) << raw.err;
    EXPECT_EQ(std::filesystem::file_size(m_dir / "yuv-0001.raw"), 640u * 480u * 2u);
    const auto json = nlohmann::json::parse(raw.out);
    ASSERT_EQ(json["frames"].size(), 4u);
    int64_t nNumber = -1, nTime = 0;
    for (const auto& frame : json["frames"]) {
        const std::string bytes = Header(std::filesystem::path(frame["file"].get<std::string>()).filename(), 4);
        // The count the number comes from may already include a frame still
        // being copied into the ring: one too high, never lower.
        const int64_t nSequence = vcam::FrameSequence(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), 4));
        EXPECT_GE(frame["number"].get<int64_t>() - nSequence, 0);
        EXPECT_LE(frame["number"].get<int64_t>() - nSequence, 1);
        EXPECT_GT(frame["number"].get<int64_t>(), nNumber);
        EXPECT_GT(frame["timestamp"].get<int64_t>(), nTime);
        nNumber = frame["number"], nTime = frame["timestamp"];
    }
    EXPECT_EQ(json["dropped"].get<int64_t>(), nNumber + 1 - 4 - json["frames"][0]["number"].get<int64_t>());
}

// A Bayer camera of each filter gives pictures in the pattern's colours: a
// Raw8 area at an odd position by its COLOR_FILTER_ID, a standard Mono8 mode
// by BAYER_TILE_MAPPING, and a Mono16 area, which tells no filter, through
// an override, 16 bits deep.
TEST_F(GrabTest, BayerCamerasGivePicturesInThePatternsColours)
{
    for (uint32_t nFilter = 0; nFilter < 4; ++nFilter) {
        std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
        set[0].nColorFilter = nFilter;
        set[0].bTileMapping = true;
        set[0].format7Modes[0].colorCodings.push_back(vcam::COLOR_RAW8);
        set[0].format7Modes[0].nUnitLeft = set[0].format7Modes[0].nUnitTop = 1;
        vcam::SetActiveCameraSet(set);
        const std::string filter(vcam::ColorFilterName(nFilter));
        const struct {
          std::vector<std::string> args;
          int nWidth, nHeight, nBytes;
        } rows[] = {
            {{"-f", "7:0:raw8", "--area", "320x240+3+1"}, 320, 240, 1},
            {{"-f", "0:5", "--demosaic", "bilinear"}, 640, 480, 1},
            {{"-f", "7:0:mono16", "--area", "320x240+0+0", "--filter", filter}, 320, 240, 2},
        };
        for (const auto& row : rows) {
            std::vector<std::string> args{"grab", "-n", "1", "-t", "pnm", "-o", m_dir.string()};
            args.insert(args.end(), row.args.begin(), row.args.end());
            const ToolRun run = Run(args);
            ASSERT_EQ(run.nStatus, EXIT_OK) << filter << " " << row.args[1] << ": " << run.err;
            const std::string header =
                fmt::format("P6\n{} {}\n{}\n", row.nWidth, row.nHeight, row.nBytes == 2 ? 65535 : 255);
            const std::size_t cbPixel = 3 * std::size_t(row.nBytes);
            const std::string file = Header("frame-0001.ppm", header.size() + cbPixel * std::size_t(row.nWidth * row.nHeight));
            ASSERT_EQ(file.substr(0, header.size()), header);
            const auto* pPixels = reinterpret_cast<const uint8_t*>(file.data() + header.size());
            EXPECT_EQ(PatternColourMisses(pPixels, cbPixel * std::size_t(row.nWidth), cbPixel,
                                          {0, std::size_t(row.nBytes), 2 * std::size_t(row.nBytes)}, row.nWidth,
                                          row.nHeight),
                      0)
                << filter << " " << row.args[1];
        }
    }
}

TEST_F(GrabTest, SilentCameraTimesOut)
{
    const auto clocks = vcam::InstallSteppedCameraSet();  // never stepped: no frame comes
    const ToolRun run = Run({"grab", "-c", "1", "-n", "2", "--timeout", "50", "-t", "raw", "-o", m_dir.string()});
    EXPECT_EQ(run.nStatus, EXIT_TIMEOUT);
    EXPECT_NE(run.err.find("no frame within 50 ms"), std::string::npos) << run.err;
    EXPECT_TRUE(Files().empty());
}

TEST_F(GrabTest, CameraLostDuringGrab)
{
    m_onFrameSaved = [](int nSaved) {
        if (nSaved == 2)
            vcam::GetCameraFaults(1)->bUnplugged = true;
    };
    // The bound is generous, so that a busy machine cannot make the camera
    // look silent before it is unplugged.
    const ToolRun run = Run({"grab", "-c", "1", "-n", "100", "--timeout", "2000", "-t", "raw", "-o", m_dir.string()});
    EXPECT_EQ(run.nStatus, EXIT_DEVICE_LOST) << run.err;
    EXPECT_NE(run.err.find("was lost during the grab"), std::string::npos) << run.err;
    // Frames the camera sent before it went are still saved.
    EXPECT_GE(Files().size(), 2u);
    EXPECT_LT(Files().size(), 100u);
}

TEST_F(GrabTest, BadArgumentsNeverReachTheCamera)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"grab", "-n", "0"}, {"grab", "-n", "x"}, {"grab", "-t", "gif"},
          {"grab", "--timeout", "0"}, {"grab", "--buffers", "1"}, {"grab", "--prefix", "a/b"},
          {"grab", "--format", "9:9"}, {"grab", "--rate", "29.97"}, {"grab", "--area", "1x1+1"}})
        EXPECT_EQ(Run(args).nStatus, EXIT_BAD_ARGUMENTS) << args[1] << " " << args[2];
    std::ofstream(m_dir.string() + ".file") << "x";
    EXPECT_EQ(Run({"grab", "-o", m_dir.string() + ".file"}).nStatus, EXIT_FAILED);
    std::filesystem::remove(m_dir.string() + ".file");
}

TEST_F(GrabTest, ViewNeedsAnXDisplay)
{
    const char* pszDisplay = std::getenv("DISPLAY");
    const std::string saved = pszDisplay ? pszDisplay : "";
    setenv("DISPLAY", ":9999", 1);
    const ToolRun run = Run({"view", "--seconds", "1"});
    if (pszDisplay)
        setenv("DISPLAY", saved.c_str(), 1);
    else
        unsetenv("DISPLAY");
    EXPECT_EQ(run.nStatus, EXIT_FAILED);
    EXPECT_NE(run.err.find("cannot open the X display ':9999'"), std::string::npos) << run.err;
    EXPECT_EQ(Run({"view", "--seconds", "-1"}).nStatus, EXIT_BAD_ARGUMENTS);
}

TEST_F(GrabTest, ViewRunsInAWindow)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no X server (scripts/test starts one)";
    const ToolRun run = Run({"view", "-c", "1", "--seconds", "0.3"});
    EXPECT_EQ(run.nStatus, EXIT_OK) << run.err;
    EXPECT_NE(run.err.find("press q"), std::string::npos);
}

}  // namespace
