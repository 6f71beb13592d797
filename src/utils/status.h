// The status page's five counts.
#pragma once

namespace orlune {

struct Run;

void Command_Status(Run& run);

}  // namespace orlune
