#pragma once

namespace lumbrel {

// Starts the program once more, at once, with the allocator told to put its big blocks (a
// text area holding a gigabyte) on huge pages, unless it was started so already or the user
// set that allocator setting otherwise. Returns when the program cannot be started again;
// it then runs on with small pages. Call it first thing in main, before any thread starts.
void RestartWithHugePages(char** argv);

} // namespace lumbrel
