#include "delete_watch.h"

#include <array>
#include <cstdlib>
#include <new>

namespace zvu::test {

namespace {

constexpr std::size_t kMaxWatched = 64;
std::array<const void*, kMaxWatched> watched{};
std::array<int, kMaxWatched> deletes{};
std::size_t watchedCount = 0;

void CountDelete(const void* block) {
  for (std::size_t i = 0; i < watchedCount; ++i)
    if (watched[i] == block) ++deletes[i];
}

}  // namespace

void WatchDeletes(const void* const* blocks, std::size_t count) {
  watchedCount = count < kMaxWatched ? count : kMaxWatched;
  for (std::size_t i = 0; i < watchedCount; ++i) {
    watched[i] = blocks[i];
    deletes[i] = 0;
  }
}

int DeleteCount(std::size_t index) { return index < watchedCount ? deletes[index] : -1; }

void StopWatchingDeletes() { watchedCount = 0; }

}  // namespace zvu::test

// Plain malloc/free underneath, as the default ones; delete also counts.
void* operator new(std::size_t size) {
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  zvu::test::CountDelete(block);
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  zvu::test::CountDelete(block);
  std::free(block);
}
