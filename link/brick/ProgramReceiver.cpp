// Program download as the virtual brick's firmware takes it.
#include "ProgramReceiver.h"

#include "Firmware.h"
#include "ByteOrder.h"
#include "Opcodes.h"

namespace towerlink {
namespace {

Bytes status(TransferStatus s) {
    return Bytes{static_cast<std::uint8_t>(s)};
}

std::string chunkText(ChunkKind kind, int number) {
    return std::string(kind == ChunkKind::Task ? "task " : "subroutine ") + std::to_string(number);
}

}  // namespace

bool ProgramReceiver::handles(std::uint8_t opcode) {
    switch (opcode) {
        case op::kGetMemoryMap:
        case op::kBeginTask:
        case op::kBeginSubroutine:
        case op::kTransferData:
        case op::kDeleteAllTasks:
        case op::kDeleteAllSubs:
        case op::kDeleteTask:
        case op::kDeleteSub: return true;
        default: return false;
    }
}

std::optional<Bytes> ProgramReceiver::execute(std::uint8_t opcode, std::span<const std::uint8_t> p,
                                              int slot) {
    switch (opcode) {
        case op::kGetMemoryMap: return store_.memoryMap();
        case op::kBeginTask: return begin(ChunkKind::Task, p, slot);
        case op::kBeginSubroutine: return begin(ChunkKind::Subroutine, p, slot);
        case op::kTransferData: return transfer(p);
        case op::kDeleteAllTasks: store_.eraseAll(slot, ChunkKind::Task); return Bytes{};
        case op::kDeleteAllSubs: store_.eraseAll(slot, ChunkKind::Subroutine); return Bytes{};
        case op::kDeleteTask: store_.erase(slot, ChunkKind::Task, p[0]); return Bytes{};
        case op::kDeleteSub: store_.erase(slot, ChunkKind::Subroutine, p[0]); return Bytes{};
        default: return std::nullopt;
    }
}

Bytes ProgramReceiver::begin(ChunkKind kind, std::span<const std::uint8_t> p, int slot) {
    // p[0] is 0 from every known sender; the index's high byte follows its low byte.
    const int number = readU16(p, 1);
    const std::size_t length = readU16(p, 3);
    open_.reset();  // a new begin replaces whatever was under way
    const TransferStatus s = store_.canStore(slot, kind, number, length);
    if (s == TransferStatus::Ok) open_ = Download{slot, kind, number, length, 1, {}};
    return status(s);
}

std::optional<Bytes> ProgramReceiver::transfer(std::span<const std::uint8_t> p) {
    if (!open_) return status(TransferStatus::NoDownload);
    Download& d = *open_;
    const int block = readU16(p, 0);
    const std::size_t length = readU16(p, 2);
    if (block != 0 && block != d.nextBlock) return std::nullopt;  // out of order: no answer
    const std::span<const std::uint8_t> data = p.subspan(4, length);
    // The real firmware skips this check on the last block; checking it costs a sender nothing
    // and keeps a damaged last block out of the store.
    if (blockChecksum(data) != p[4 + length]) return status(TransferStatus::BlockChecksum);
    const std::string name = chunkText(d.kind, d.number);
    if (d.received.size() + length > d.length) {
        note(name + ": blocks carry more than the " + std::to_string(d.length) +
             " bytes announced; nothing stored");
        open_.reset();
        return status(TransferStatus::BlockChecksum);
    }
    d.received.insert(d.received.end(), data.begin(), data.end());
    ++d.nextBlock;
    if (block != 0) return status(TransferStatus::Ok);
    if (d.received.size() != d.length) {
        note(name + ": " + std::to_string(d.received.size()) + " of the " +
             std::to_string(d.length) + " bytes announced arrived; nothing stored");
    } else if (store_.put(d.slot, d.kind, d.number, std::move(d.received)) != TransferStatus::Ok) {
        note(name + ": no longer fits the memory; nothing stored");
    }
    open_.reset();
    return status(TransferStatus::Ok);
}

void ProgramReceiver::note(const std::string& what) {
    diagnostics_.push_back(what);
}

}  // namespace towerlink
