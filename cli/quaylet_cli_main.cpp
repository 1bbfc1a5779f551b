// quaylet-cli [OPTIONS] status|unplug|monitor: Quaylet for scripts and terminals.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/quaylet_cli.h"

int main(int argc, char** argv) {
    // The messages follow the user's language; numbers and the rest stay in the C locale.
    std::setlocale(LC_MESSAGES, "");
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return quaylet::runQuayletCli(arguments, std::cout, std::cerr);
}
