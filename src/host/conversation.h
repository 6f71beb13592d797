// Walk positions and lookup indexes of one conversation. Each kind of walk
// keeps its own position, so walks of different kinds nest freely; every
// step costs O(1) on designs of a few hundred thousand items.
#pragma once

#include <cstdint>

namespace orlune::host {

struct Design;

struct Conversation {
    // Builds the indexes for `design` and resets every walk.
    void start(Design& design);
    void stop();
    // Operation side's own state goes here (owned by operations.cpp).
};

}  // namespace orlune::host
