// iidc reg: read or write one camera register, or read a range. Offsets are
// hexadecimal, from the camera's command-register base; with --rom, addresses
// of the configuration ROM in the initial register space (0x400 to 0x7FC).
// iidc reset: the one register write every camera takes, INITIALIZE.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <cctype>
#include <ostream>

#include "commands.h"
#include "exit_status.h"
#include "names.h"
#include "registers/offsets.h"
#include "session.h"

namespace iidctool {

namespace {

constexpr uint32_t ROM_FIRST = 0x400;
constexpr uint32_t ROM_LAST = 0x7FC;
constexpr int MAX_COUNT = 1024;

struct RegOptions {
  std::string target;  // OFFSET or OFFSET=VALUE
  int nCount = 1;
  bool bRom = false;
};

uint32_t ParseOffset(const std::string& text, bool bRom)
{
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    const uint32_t dwOffset = ParseU32("0x" + digits, bRom ? "ROM address" : "register offset");
    if (dwOffset % 4)
        throw CToolError(EXIT_BAD_ARGUMENTS,
                         fmt::format("register {}: offsets are hexadecimal multiples of 4 (e.g. 604 or 0x604)", text));
    if (bRom && (dwOffset < ROM_FIRST || dwOffset > ROM_LAST))
        throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("ROM address {}: the configuration ROM spans 0x{:X} to 0x{:X}",
                                                         text, ROM_FIRST, ROM_LAST));
    return dwOffset;
}

int RunReg(CommandLine& line, const RegOptions& options)
{
    const auto equals = options.target.find('=');
    const bool bWrite = equals != std::string::npos;
    const uint32_t dwFirst = ParseOffset(options.target.substr(0, equals), options.bRom);
    uint32_t dwValue = bWrite ? ParseU32(options.target.substr(equals + 1), "register value") : 0;
    if (bWrite && options.nCount != 1)
        throw CToolError(EXIT_BAD_ARGUMENTS, "--count reads a range; a write sets one register");
    if (bWrite && options.bRom)
        throw CToolError(EXIT_BAD_ARGUMENTS, "the configuration ROM is read-only");
    if (options.nCount < 1 || options.nCount > MAX_COUNT)
        throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--count {}: read 1 to {} registers", options.nCount, MAX_COUNT));
    const uint64_t qwLast = uint64_t(dwFirst) + 4u * uint64_t(options.nCount - 1);
    if (qwLast > (options.bRom ? ROM_LAST : 0xFFFFFFFCu))
        throw CToolError(EXIT_BAD_ARGUMENTS, "--count: the range runs past the last register");

    CLibrarySession library;
    CCameraSession camera(library, line.camera);
    auto offsetOf = [&](uint32_t dwAddress) { return options.bRom ? iidc_reg::RomOffset(dwAddress) : dwAddress; };
    if (bWrite) {
        if (iidc1394_asyncwritequadlet(camera.Handle(), offsetOf(dwFirst), &dwValue, 4) != 4)
            camera.Fail(fmt::format("writing register 0x{:X}", dwFirst));
        line.context.out << fmt::format("0x{:03X} <- 0x{:08X}\n", dwFirst, dwValue);
        return EXIT_OK;
    }
    for (int i = 0; i < options.nCount; ++i) {
        const uint32_t dwAddress = dwFirst + 4u * uint32_t(i);
        if (iidc1394_asyncreadquadlet(camera.Handle(), offsetOf(dwAddress), &dwValue, 4) != 4)
            camera.Fail(fmt::format("reading register 0x{:X}", dwAddress));
        line.context.out << fmt::format("0x{:03X} = 0x{:08X}\n", dwAddress, dwValue);
    }
    return EXIT_OK;
}

// The camera's INITIALIZE register: every setting back to power-up.
int RunReset(CommandLine& line)
{
    CLibrarySession library;
    CCameraSession camera(library, line.camera);
    uint32_t dwValue = iidc_reg::IIDC_BIT(0);
    if (iidc1394_asyncwritequadlet(camera.Handle(), iidc_reg::INITIALIZE, &dwValue, 4) != 4)
        camera.Fail("writing INITIALIZE");
    line.context.out << fmt::format("camera {} reset to its power-up settings\n", camera.Index());
    return EXIT_OK;
}

}  // namespace

void AddResetCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("reset", "put the camera's settings back to power-up (INITIALIZE)");
    pCommand->callback([&line] { line.run = [&line] { return RunReset(line); }; });
}

void AddRegCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("reg", "read (OFFSET) or write (OFFSET=VALUE) camera registers");
    auto pOptions = std::make_shared<RegOptions>();
    pCommand->add_option("register", pOptions->target, "hexadecimal offset, or OFFSET=VALUE to write")->required();
    pCommand->add_option("-n,--count", pOptions->nCount, "read this many registers from OFFSET on");
    pCommand->add_flag("--rom", pOptions->bRom, "address the configuration ROM (0x400 to 0x7FC)");
    pCommand->callback([&line, pOptions] { line.run = [&line, pOptions] { return RunReg(line, *pOptions); }; });
}

}  // namespace iidctool
