// The virtual brick's user memory and its map.
#include "ProgramStore.h"

#include "ByteOrder.h"

namespace towerlink {

int ProgramStore::index(int slot, ChunkKind kind, int number) {
    const int count = kind == ChunkKind::Task ? kTasks : kSubroutines;
    if (slot < 0 || slot >= kSlots || number < 0 || number >= count) return -1;
    // The map's order: every slot's subroutines first, then every slot's tasks.
    return static_cast<int>(kind == ChunkKind::Subroutine ? memory_map::subroutineWord(slot, number)
                                                          : memory_map::taskWord(slot, number));
}

std::span<const std::uint8_t> ProgramStore::chunk(int slot, ChunkKind kind, int number) const {
    const int i = index(slot, kind, number);
    if (i < 0) return {};
    return chunks_[static_cast<std::size_t>(i)];
}

bool ProgramStore::has(int slot, ChunkKind kind, int number) const {
    return !chunk(slot, kind, number).empty();
}

int ProgramStore::used(int except) const {
    int total = datalogBytes_;
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        if (static_cast<int>(i) != except) total += static_cast<int>(chunks_[i].size());
    }
    return total;
}

TransferStatus ProgramStore::canStore(int slot, ChunkKind kind, int number,
                                      std::size_t length) const {
    const int i = index(slot, kind, number);
    if (i < 0) return TransferStatus::BadIndex;
    if (used(i) + static_cast<long long>(length) > kUserMemory) return TransferStatus::NoMemory;
    return TransferStatus::Ok;
}

TransferStatus ProgramStore::put(int slot, ChunkKind kind, int number, Bytes code) {
    const TransferStatus s = canStore(slot, kind, number, code.size());
    if (s == TransferStatus::Ok)
        chunks_[static_cast<std::size_t>(index(slot, kind, number))] = std::move(code);
    return s;
}

void ProgramStore::erase(int slot, ChunkKind kind, int number) {
    const int i = index(slot, kind, number);
    if (i >= 0) chunks_[static_cast<std::size_t>(i)].clear();
}

void ProgramStore::eraseAll(int slot, ChunkKind kind) {
    const int count = kind == ChunkKind::Task ? kTasks : kSubroutines;
    for (int n = 0; n < count; ++n) erase(slot, kind, n);
}

Bytes ProgramStore::memoryMap() const {
    Bytes out;
    auto word = [&](int v) { pushBigU16(out, v); };
    int address = kUserAreaStart;
    for (const Bytes& code : chunks_) {
        word(address);
        address += static_cast<int>(code.size());
    }
    word(address);                 // the datalog's first entry
    word(address + datalogUsed_);  // its next free entry
    address += datalogBytes_;
    word(address);                       // first free address
    word(kUserAreaStart + kUserMemory);  // last valid address
    return out;
}

}  // namespace towerlink
