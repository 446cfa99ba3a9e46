#pragma once
// Handing the heap's free pages back to the system. The C library keeps the
// memory of freed blocks for later allocations, and only the end of the heap
// ever goes back by itself; after work that freed much of it, those pages
// count against the program for as long as it runs.

namespace nuve::core {

// Gives every free page of every heap arena back to the system (the blocks
// in use stay where they are). True when any memory went back. Takes a few
// milliseconds on a large heap; other threads' allocations wait meanwhile.
bool ReturnFreeHeapPages();

}  // namespace nuve::core
