// quaylet-cli [OPTIONS] status|unplug|monitor: Quaylet for scripts and terminals.
#include <iostream>
#include <string>
#include <vector>

#include "cli/quaylet_cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return quaylet::runQuayletCli(arguments, std::cout, std::cerr);
}
