// The orlune command line: the same procedures as the window, with message
// boxes written to standard error.
#pragma once

#include <iosfwd>

namespace orlune::app {

// Runs the command line and answers the exit status.
int runCommandLine(int argc, char** argv);

// The same with the streams given, for tests.
int runCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace orlune::app
