// iidc serve where the build has no RTSP server library: the command is
// there, and says so.
#include <CLI/CLI.hpp>

#include "commands.h"
#include "exit_status.h"

namespace iidctool {

void AddServeCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("serve", "serve cameras as RTSP streams (not available in this build)");
    pCommand->allow_extras();
    pCommand->callback([&line] {
        line.run = []() -> int {
            throw CToolError(EXIT_FAILED, "serve is not available in this build: it needs GStreamer's RTSP server "
                                          "library, on Linux");
        };
    });
}

}  // namespace iidctool
