#include "app/cli.h"

#include <iostream>

namespace orlune::app {

int runCommandLine(int argc, char** argv) { return runCommandLine(argc, argv, std::cout, std::cerr); }

int runCommandLine(int, char**, std::ostream&, std::ostream& err) {
    err << "orlune: not built yet\n";
    return 2;
}

}  // namespace orlune::app
