// The installed program itself: its exit statuses and output streams, the
// virtual cameras it sees through IIDC_VCAM_PROFILE, and those cameras'
// settings and stream shared by every run.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

// Runs of the program one after another on cameras shared between them, in
// a runtime folder of the test's own; then one run streaming while others
// try, until it is killed.
TEST(ProgramTest, RunsShareTheCamerasSettingsAndStream)
{
    char szRoot[] = "/tmp/iidc-program-test-XXXXXX";
    ASSERT_NE(mkdtemp(szRoot), nullptr);
    const std::string shared = std::string("IIDC_VCAM_STATE=shared XDG_RUNTIME_DIR=") + szRoot;
    const struct {
        const char* pszArguments;
        const char* pszEnvironment;
        int nStatus;
        const char* pszOutput;
    } runs[] = {
        {"set gain=200", "", iidctool::EXIT_OK, "gain: 200"},
        {"get gain", "", iidctool::EXIT_OK, "gain: 200"},
        {"get gain", "IIDC_VCAM_STATE=private", iidctool::EXIT_OK, "gain: 170"},
        {"reg 0=0x80000000", "", iidctool::EXIT_OK, "0x000 <- 0x80000000"},  // INITIALIZE
        {"get gain", "", iidctool::EXIT_OK, "gain: 170"},
        {"set gain=201", "", iidctool::EXIT_OK, "gain: 201"},
        {"reset", "", iidctool::EXIT_OK, "camera 0 reset"},
        {"get gain", "", iidctool::EXIT_OK, "gain: 170"},
    };
    for (const auto& r : runs) {
        const ProgramRun run = RunProgram(r.pszArguments, shared + " " + r.pszEnvironment);
        EXPECT_EQ(run.nStatus, r.nStatus) << r.pszArguments << ": " << run.out;
        EXPECT_NE(run.out.find(r.pszOutput), std::string::npos) << r.pszArguments << ": " << run.out;
    }

    const std::string frames = std::string(szRoot) + "/frames";
    std::vector<std::string> args = {IIDC_CLI_PATH, "grab", "-n", "9999", "-f", "0:0", "-t", "raw", "-o", frames};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string environment = "XDG_RUNTIME_DIR=" + std::string(szRoot);
    std::vector<char*> envp = {const_cast<char*>("IIDC_VCAM_STATE=shared"), const_cast<char*>(environment.c_str()),
                               nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, IIDC_CLI_PATH, &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Streaming once its first frame is written.
    for (int i = 0; i < 500 && !std::filesystem::exists(frames + "/frame-0001.raw"); ++i)
        usleep(10000);
    const ProgramRun busy = RunProgram("grab -n 1 -t raw -o " + std::string(szRoot) + "/busy", shared);
    EXPECT_EQ(busy.nStatus, iidctool::EXIT_NO_CAMERA) << busy.out;
    EXPECT_NE(busy.out.find("another program may be streaming"), std::string::npos) << busy.out;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    const ProgramRun after = RunProgram("grab -n 1 -t raw -o " + std::string(szRoot) + "/after", shared);
    EXPECT_EQ(after.nStatus, iidctool::EXIT_OK) << after.out;
    std::filesystem::remove_all(szRoot);
}

}  // namespace
