// A count of the blocks the global operator new has handed out and operator
// delete has not yet taken back, for tests that check what a call leaves
// allocated. Linking heapcount replaces the global operators of the program.
#pragma once

namespace testsupport {

long liveHeapBlocks();

} // namespace testsupport
