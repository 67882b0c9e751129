#include "tool.h"

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <ostream>

#include "commands.h"
#include "exit_status.h"
#include "session.h"

namespace iidctool {

void ReportProgress(ToolContext& context, const std::string& text, bool bEndLine)
{
    if (context.bTerminal)
        context.err << '\r' << text << "\x1b[K" << (bEndLine ? "\n" : "") << std::flush;
    else
        context.err << text << '\n';
}

int RunTool(const std::vector<std::string>& args, ToolContext& context)
{
    CLI::App app("iidc - list, configure and capture from IIDC 1394 cameras", "iidc");
    app.require_subcommand(1);
    app.fallthrough();
    CommandLine line{context, {}, {}};
    app.set_version_flag("--version", "iidc " IIDC_TOOL_VERSION, "print the version and exit");
    app.add_option("-c,--camera", line.camera, "camera index (0, 1, ...) or unique id (10 hex digits); default 0");
    AddListCommand(app, line);
    AddInfoCommand(app, line);
    AddGetCommand(app, line);
    AddSetCommand(app, line);
    AddRegCommand(app, line);
    AddResetCommand(app, line);
    AddGrabCommand(app, line);
    AddDumpCommand(app, line);
    AddViewCommand(app, line);
    AddServeCommand(app, line);

    // CLI11 parses the arguments in reverse order from a vector.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        context.out << app.help();
        return EXIT_OK;
    } catch (const CLI::CallForAllHelp&) {
        context.out << app.help("", CLI::AppFormatMode::All);
        return EXIT_OK;
    } catch (const CLI::CallForVersion& version) {
        context.out << version.what() << '\n';
        return EXIT_OK;
    } catch (const CLI::ParseError& error) {
        context.err << fmt::format("iidc: {}\nRun 'iidc --help' or 'iidc COMMAND --help' for the usage.\n",
                                   error.what());
        return EXIT_BAD_ARGUMENTS;
    } catch (const CToolError& error) {
        context.err << fmt::format("iidc: {}\n", error.what());
        return error.Status();
    } catch (const CCameraError& error) {
        context.err << fmt::format("iidc: {}\n", error.what());
        return ExitStatusOf(error.GetKind());
    }
    try {
        return line.run ? line.run() : EXIT_BAD_ARGUMENTS;
    } catch (const CToolError& error) {
        context.err << fmt::format("iidc: {}\n", error.what());
        return error.Status();
    } catch (const CCameraError& error) {
        context.err << fmt::format("iidc: {}\n", error.what());
        return ExitStatusOf(error.GetKind());
    } catch (const std::exception& error) {
        context.err << fmt::format("iidc: {}\n", error.what());
        return EXIT_FAILED;
    }
}

}  // namespace iidctool
