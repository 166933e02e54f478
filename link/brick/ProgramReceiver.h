// The brick's side of program download while firmware runs: begin a task or subroutine, take
// its numbered blocks, delete what a slot holds, and report the memory map. Blocks must come in
// order (1, 2, ..., the last numbered 0); a block out of order gets no answer, a damaged one
// status 3 and is expected again. A chunk is stored only when its last block completes exactly
// the length announced at its begin; anything else is dropped and noted in the diagnostics, so
// that the store never holds a program that differs from the one sent.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Packet.h"
#include "ProgramStore.h"

namespace towerlink {

class ProgramReceiver {
public:
    // Whether the request (base opcode) belongs to program download and the memory map.
    static bool handles(std::uint8_t opcode);

    // The reply data to such a request in `slot` (0 to 4), or nothing when the brick stays
    // silent (a block out of order).
    std::optional<Bytes> execute(std::uint8_t opcode, std::span<const std::uint8_t> params,
                                 int slot);

    // Selecting another program abandons a download under way.
    void abandon() { open_.reset(); }
    bool downloading() const { return open_.has_value(); }

    ProgramStore& store() { return store_; }
    const ProgramStore& store() const { return store_; }
    // What the brick noticed about downloads that stored nothing, oldest first.
    const std::vector<std::string>& diagnostics() const { return diagnostics_; }

private:
    struct Download {
        int slot = 0;
        ChunkKind kind = ChunkKind::Task;
        int number = 0;
        std::size_t length = 0;
        int nextBlock = 1;
        Bytes received;
    };

    Bytes begin(ChunkKind kind, std::span<const std::uint8_t> params, int slot);
    std::optional<Bytes> transfer(std::span<const std::uint8_t> params);
    void note(const std::string& what);

    ProgramStore store_;
    std::optional<Download> open_;
    std::vector<std::string> diagnostics_;
};

}  // namespace towerlink
