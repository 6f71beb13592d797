#include "dbx/platform.h"

namespace orlune {

void Platform::endProgram() {
    throw ProgramEnded();
}

}  // namespace orlune
