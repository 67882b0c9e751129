// The installed program itself: its exit statuses and output streams, and the
// virtual cameras it sees through IIDC_VCAM_PROFILE.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "exit_status.h"

namespace {

struct ProgramRun {
  int nStatus = -1;
  std::string out;
};

ProgramRun RunProgram(const std::string& arguments, const std::string& environment = "")
{
    const std::string command = environment + " " + IIDC_CLI_PATH + " " + arguments + " 2>&1";
    ProgramRun run;
    FILE* pPipe = popen(command.c_str(), "r");
    if (!pPipe)
        return run;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pPipe)) > 0;)
        run.out.append(buffer, n);
    const int nWait = pclose(pPipe);
    run.nStatus = WIFEXITED(nWait) ? WEXITSTATUS(nWait) : -1;
    return run;
}

TEST(ProgramTest, ExitStatusesAndTheCamerasItSees)
{
    const ProgramRun list = RunProgram("list");
    EXPECT_EQ(list.nStatus, iidctool::EXIT_OK);
    EXPECT_NE(list.out.find("VM-1024M"), std::string::npos) << list.out;
    const auto profile = std::filesystem::temp_directory_path() / "iidc-program-test-empty.json";
    std::ofstream(profile) << R"({"cameras": []})";
    const ProgramRun none = RunProgram("info", "IIDC_VCAM_PROFILE=" + profile.string());
    EXPECT_EQ(none.nStatus, iidctool::EXIT_NO_CAMERA) << none.out;
    EXPECT_NE(none.out.find("no camera found"), std::string::npos);
    std::filesystem::remove(profile);

    const ProgramRun bad = RunProgram("grab --count -3");
    EXPECT_EQ(bad.nStatus, iidctool::EXIT_BAD_ARGUMENTS);
    EXPECT_NE(bad.out.find("--count"), std::string::npos) << bad.out;
}

}  // namespace
