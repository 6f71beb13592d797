#include "app/cli.h"

int main(int argc, char** argv) {
    return orlune::app::runCommandLine(argc, argv);
}
