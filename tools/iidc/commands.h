// The subcommands. Each Add function registers its subcommand and its options
// with the parser; once the command line is parsed, the chosen subcommand's
// run function is left in CommandLine::run.
#pragma once

#include <functional>
#include <string>

#include "tool.h"

namespace CLI {
class App;
}

namespace iidctool {

struct CommandLine {
  ToolContext& context;
  std::string camera;  // --camera: index or unique id
  std::function<int()> run;
};

void AddListCommand(CLI::App& app, CommandLine& line);
void AddInfoCommand(CLI::App& app, CommandLine& line);
void AddGetCommand(CLI::App& app, CommandLine& line);
void AddSetCommand(CLI::App& app, CommandLine& line);
void AddRegCommand(CLI::App& app, CommandLine& line);
void AddResetCommand(CLI::App& app, CommandLine& line);
void AddGrabCommand(CLI::App& app, CommandLine& line);
void AddDumpCommand(CLI::App& app, CommandLine& line);
void AddViewCommand(CLI::App& app, CommandLine& line);
// serve/: the RTSP server where the build has it, else a word that it has not.
void AddServeCommand(CLI::App& app, CommandLine& line);

}  // namespace iidctool
