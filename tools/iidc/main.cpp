// The iidc program: hands its command line to the tool library.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tool.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    iidctool::ToolContext context{std::cout, std::cerr, isatty(STDERR_FILENO) != 0, {}};
    return iidctool::RunTool(args, context);
}
