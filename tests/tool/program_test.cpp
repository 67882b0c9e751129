// The installed program itself: its exit statuses and output streams, the
// virtual cameras it sees through IIDC_VCAM_PROFILE, and those cameras'
// settings and stream shared by every run.
#include <gtest/gtest.h>
#include <signal.h>

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

// Runs one after another in a runtime folder of the test's own; then one
// run streaming while another tries, until it is killed.
TEST(ProgramTest, ExitStatusesCamerasAndTheirSettingsAndStream)
{
    char szRoot[] = "/tmp/iidc-program-test-XXXXXX";
    ASSERT_NE(mkdtemp(szRoot), nullptr);
    const std::string root = szRoot, shared = "IIDC_VCAM_STATE=shared XDG_RUNTIME_DIR=" + root;
    std::ofstream(root + "/empty.json") << R"({"cameras": []})";
    const struct { const char* pszArguments; std::string environment; int nStatus; const char* pszOutput; } runs[] = {
        {"list", "", iidctool::EXIT_OK, "VM-1024M"},
        {"info", "IIDC_VCAM_PROFILE=" + root + "/empty.json", iidctool::EXIT_NO_CAMERA, "no camera found"},
        {"grab --count -3", "", iidctool::EXIT_BAD_ARGUMENTS, "--count"},
        {"set gain=200", "", iidctool::EXIT_OK, "gain: 200"},
        {"get gain", "", iidctool::EXIT_OK, "gain: 200"},
        {"get gain", "IIDC_VCAM_STATE=private", iidctool::EXIT_OK, "gain: 170"},
        {"reset", "", iidctool::EXIT_OK, "camera 0 reset"},
        {"get gain", "", iidctool::EXIT_OK, "gain: 170"},
    };
    for (const auto& r : runs) {
        const ProgramRun run = RunProgram(r.pszArguments, shared + " " + r.environment);
        EXPECT_EQ(run.nStatus, r.nStatus) << r.pszArguments << ": " << run.out;
        EXPECT_NE(run.out.find(r.pszOutput), std::string::npos) << r.pszArguments << ": " << run.out;
    }

    const ProgramRun first = RunProgram("grab -n 9999 -f 0:0 -t raw -o " + root + "/a >/dev/null 2>&1 & echo $!", shared);
    for (int i = 0; i < 500 && !std::filesystem::exists(root + "/a/frame-0001.raw"); ++i)
        usleep(10000);
    const ProgramRun busy = RunProgram("grab -n 1 -t raw -o " + root + "/b", shared);
    EXPECT_EQ(busy.nStatus, iidctool::EXIT_NO_CAMERA) << busy.out;
    EXPECT_NE(busy.out.find("another program may be streaming"), std::string::npos) << busy.out;
    const std::string pid = first.out.substr(0, first.out.find('\n'));
    kill(std::stoi(pid), SIGKILL);
    for (std::string field; std::ifstream("/proc/" + pid + "/stat") >> field >> field >> field && field != "Z";)
        usleep(1000);  // until it has died: a zombie, or gone
    EXPECT_EQ(RunProgram("grab -n 1 -t raw -o " + root + "/c", shared).nStatus, iidctool::EXIT_OK);
    std::filesystem::remove_all(root);
}

}  // namespace
