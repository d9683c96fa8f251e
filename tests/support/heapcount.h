// Counts of what the global operator new hands out, for tests that check what
// a call allocates or leaves allocated. Linking heapcount replaces the global
// operators new and delete of the program.
#pragma once

namespace tests::support {

// Calls of operator new (every form) so far.
long heapAllocations();
// Blocks handed out and not yet taken back by operator delete.
long liveHeapBlocks();

} // namespace tests::support
