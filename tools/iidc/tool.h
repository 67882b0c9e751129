// The iidc tool as a library: RunTool parses a command line and runs one
// subcommand, writing to the context's streams, and returns the exit status.
// The program's main is a thin wrapper; tests call RunTool in-process.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace iidctool {

struct ToolContext {
  std::ostream& out;
  std::ostream& err;
  // A terminal gets the progress bar; anything else gets plain lines.
  bool bTerminal = false;
  // Called after each frame grab saved (number of frames saved so far), on
  // the thread that runs the tool.
  std::function<void(int)> onFrameSaved;
};

int RunTool(const std::vector<std::string>& args, ToolContext& context);

// A progress line on the error stream: rewritten in place on a terminal
// (bEndLine ends it), one line each otherwise.
void ReportProgress(ToolContext& context, const std::string& text, bool bEndLine);

}  // namespace iidctool
