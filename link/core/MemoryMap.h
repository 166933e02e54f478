// The brick's program slots and the layout of its memory map (Get memory map's 94 big-endian
// words): the start of every subroutine and task of the five slots, then the datalog's start and
// next entry, the first free and the last valid address.
#pragma once

#include <cstddef>

namespace towerlink::memory_map {

inline constexpr int kSlots = 5, kTasks = 10, kSubroutines = 8;
inline constexpr std::size_t kWords = 94;

constexpr std::size_t subroutineWord(int slot, int number) {
    return static_cast<std::size_t>(slot * kSubroutines + number);
}
constexpr std::size_t taskWord(int slot, int number) {
    return static_cast<std::size_t>(kSlots * kSubroutines + slot * kTasks + number);
}
inline constexpr std::size_t kDatalogStart = 90, kDatalogNext = 91, kFirstFree = 92,
                             kLastValid = 93;

}  // namespace towerlink::memory_map
