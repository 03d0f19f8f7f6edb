// The packager executable: the command line of the library (packaging/cli/packager_cli.h)
// on this process's arguments and standard streams.
#include "packaging/cli/packager_cli.h"

#include <iostream>
#include <string>
#include <vector>

#ifndef PACKAGER_RUNTIME_LIBRARY
#define PACKAGER_RUNTIME_LIBRARY ""
#endif

int main(int argc, char** argv)
{
    return packager::runPackager(std::vector<std::string>(argv + 1, argv + argc), PACKAGER_RUNTIME_LIBRARY, std::cout,
                                 std::cerr);
}
