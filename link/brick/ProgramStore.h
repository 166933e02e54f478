// The brick's user memory: five program slots of ten tasks and eight subroutines, and the
// datalog, sharing one area of 6144 bytes. Code is laid out in the order of the memory map
// (all subroutines of slots 1 to 5, then all tasks, then the datalog), without gaps, so that
// every chunk's length is the distance to the next one's start, as a reader of the map sees it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "Firmware.h"
#include "MemoryMap.h"
#include "Packet.h"

namespace towerlink {

enum class ChunkKind { Task, Subroutine };

class ProgramStore {
public:
    static constexpr int kSlots = memory_map::kSlots, kTasks = memory_map::kTasks,
                         kSubroutines = memory_map::kSubroutines;
    static constexpr int kUserMemory = 6144;
    static constexpr std::uint16_t kUserAreaStart = 0xCC00;  // where the map's addresses begin
    static constexpr int kBytesPerLogEntry = 3;              // type byte and 16-bit value

    // The code of a chunk; empty when none is stored (an empty chunk runs as nothing).
    std::span<const std::uint8_t> chunk(int slot, ChunkKind kind, int number) const;
    bool has(int slot, ChunkKind kind, int number) const;

    // Whether `length` bytes fit in place of what the chunk holds now: BadIndex for a slot,
    // task or subroutine that does not exist, NoMemory when the area is too small, Ok.
    TransferStatus canStore(int slot, ChunkKind kind, int number, std::size_t length) const;
    // Stores the code (after canStore said Ok; otherwise it returns what canStore says).
    TransferStatus put(int slot, ChunkKind kind, int number, Bytes code);
    void erase(int slot, ChunkKind kind, int number);
    void eraseAll(int slot, ChunkKind kind);

    // The datalog's share of the area, in bytes; whether a datalog of `bytes` would fit in
    // place of the present one.
    int datalogBytes() const { return datalogBytes_; }
    bool datalogFits(int bytes) const { return used(-1) - datalogBytes_ + bytes <= kUserMemory; }
    void setDatalogBytes(int bytes) { datalogBytes_ = bytes; }
    // Bytes of the datalog that hold entries (for the map's next-free-entry address).
    void setDatalogUsedBytes(int bytes) { datalogUsed_ = bytes; }

    int freeBytes() const { return kUserMemory - used(-1); }
    // Get memory map's reply: 94 big-endian words (subroutine starts 0-39, task starts 40-89,
    // datalog start and next entry 90-91, first free and last valid address 92-93).
    Bytes memoryMap() const;

private:
    static int index(int slot, ChunkKind kind, int number);
    // Bytes in use, leaving out the chunk at `except` (-1: none).
    int used(int except) const;

    std::array<Bytes, kSlots*(kTasks + kSubroutines)> chunks_{};
    int datalogBytes_ = 0;
    int datalogUsed_ = 0;
};

}  // namespace towerlink
