// iidc list: every camera with its index, vendor, model and unique id.
#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <ostream>

#include "camera_rom.h"
#include "commands.h"
#include "exit_status.h"
#include "session.h"

namespace iidctool {

namespace {

int RunList(CommandLine& line, bool bJson)
{
    CLibrarySession library;
    nlohmann::ordered_json cameras = nlohmann::ordered_json::array();
    std::string text = fmt::format("{:<6} {:<24} {:<24} {}\n", "index", "vendor", "model", "unique id");
    for (int i = 0; i < library.CameraCount(); ++i) {
        const CameraNames names = ReadCameraNames(i, nullptr);
        const std::string uniqueId = CameraString(i, IIDC_STRING_UNIQUEID);
        cameras.push_back({{"index", i},
                           {"vendor", names.vendor},
                           {"model", names.model},
                           {"uniqueId", uniqueId},
                           {"nameWalk", {{"vendor", names.vendorWalk}, {"model", names.modelWalk}}}});
        text += fmt::format("{:<6} {:<24} {:<24} {}\n", i, names.vendor, names.model, uniqueId);
    }
    if (bJson)
        line.context.out << nlohmann::ordered_json{{"cameras", cameras}}.dump(2) << '\n';
    else
        line.context.out << text;
    return EXIT_OK;
}

}  // namespace

void AddListCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("list", "list the cameras: index, vendor, model, unique id");
    auto pJson = std::make_shared<bool>(false);
    pCommand->add_flag("--json", *pJson, "print JSON");
    pCommand->callback([&line, pJson] { line.run = [&line, pJson] { return RunList(line, *pJson); }; });
}

}  // namespace iidctool
