#pragma once

#include <cstddef>

namespace zvu::test {

// Counts how often given heap blocks are handed to operator delete. The test
// program replaces the global operator new and delete for this.
void WatchDeletes(const void* const* blocks, std::size_t count);
// Deletes of the i-th watched block since WatchDeletes.
int DeleteCount(std::size_t index);
void StopWatchingDeletes();

}  // namespace zvu::test
