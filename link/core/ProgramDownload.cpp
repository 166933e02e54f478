// The program download sequence.
#include "ProgramDownload.h"

#include <algorithm>

#include "Firmware.h"
#include "ByteOrder.h"
#include "Opcodes.h"

namespace towerlink {
namespace {

using Outcome = Result<std::monostate, ProgramDownloadFailure>;

std::string chunkText(const ImageChunk& c) {
    return std::string(c.kind == ImageChunkKind::Task ? "task " : "subroutine ") +
           std::to_string(c.number);
}

Request beginChunk(const ImageChunk& c) {
    Request r{{c.kind == ImageChunkKind::Task ? op::kBeginTask : op::kBeginSubroutine, 0}};
    pushU16(r.payload, c.number);
    pushU16(r.payload, static_cast<long long>(c.code.size()));
    return r;
}

// Once the slot's old program is deleted, every failure leaves it changed.
class Failing {
public:
    explicit Failing(int slot) : slot_(slot) {}

    void touched() { touched_ = true; }

    ProgramDownloadFailure operator()(LinkError error, const std::string& what) const {
        std::string message = what;
        if (touched_) {
            message += slot_ == 0 ? "; the current program slot"
                                  : "; program slot " + std::to_string(slot_);
            message += " may now hold part of the program: download it again";
        }
        return {{error, message, 0}, !touched_};
    }
    ProgramDownloadFailure operator()(const Failure& f, const std::string& step) const {
        ProgramDownloadFailure out = (*this)(f.error, step + ": " + f.message);
        out.failure.osError = f.osError;
        return out;
    }

private:
    int slot_;
    bool touched_ = false;
};

// The brick's answer to a begin request or a block, in words.
std::string statusText(std::uint8_t status) {
    switch (static_cast<TransferStatus>(status)) {
        case TransferStatus::NoMemory: return "the brick has not enough free memory for it";
        case TransferStatus::BadIndex: return "the brick refuses its number";
        case TransferStatus::BlockChecksum: return "the brick keeps finding its checksum wrong";
        case TransferStatus::NoDownload: return "the brick has no download under way";
        default: return "the brick answered code " + std::to_string(status);
    }
}

}  // namespace

Outcome downloadProgram(Session& session, const RcxImage& image,
                        const ProgramDownloadOptions& options, const ProgramProgress& progress) {
    Failing failed(options.slot);
    if (options.slot < 0 || options.slot > 5)
        return failed(LinkError::BadArgument, "the program slot is 1 to 5");
    if (options.blockSize == 0 || options.blockSize > op::kMaxTransferLength)
        return failed(LinkError::BadArgument, "the block size is out of range");
    if (image.chunks.empty()) return failed(LinkError::BadArgument, "the image holds no code");

    ExecuteResult alive = session.execute(Request::alive());
    if (!alive) return failed(alive.error(), "alive check");
    if (alive->value == 0)
        return failed(LinkError::NoBrick, "alive check: the brick does not answer (is it on?)");
    // Stop first: a running task could be using the code about to be replaced.
    ExecuteResult stopped = session.execute(Request{{op::kStopAllTasks}});
    if (!stopped) return failed(stopped.error(), "stopping all tasks");
    if (options.slot != 0) {
        ExecuteResult selected = session.execute(
            Request{{op::kSetProgram, static_cast<std::uint8_t>(options.slot - 1)}});
        if (!selected)
            return failed(selected.error(), "selecting program " + std::to_string(options.slot));
    }
    failed.touched();
    for (std::uint8_t opcode : {op::kDeleteAllTasks, op::kDeleteAllSubs}) {
        ExecuteResult deleted = session.execute(Request{{opcode}});
        if (!deleted) {
            return failed(deleted.error(), opcode == op::kDeleteAllTasks
                                               ? "deleting the slot's tasks"
                                               : "deleting the slot's subroutines");
        }
    }

    // The brick takes a chunk's subroutine calls only once the subroutine is there.
    std::vector<const ImageChunk*> order;
    for (const ImageChunk& c : image.chunks)
        if (c.kind == ImageChunkKind::Subroutine) order.push_back(&c);
    for (const ImageChunk& c : image.chunks)
        if (c.kind == ImageChunkKind::Task) order.push_back(&c);

    std::size_t total = 0, done = 0;
    for (const ImageChunk* c : order) total += c->code.size();
    if (progress) progress(0, total);
    for (const ImageChunk* chunk : order) {
        const std::string name = chunkText(*chunk);
        ExecuteResult begun = session.execute(beginChunk(*chunk));
        if (!begun) return failed(begun.error(), name + ", begin");
        if (begun->data.at(0) != 0)
            return failed(LinkError::BadCommunication, name + ": " + statusText(begun->data[0]));
        const Bytes& code = chunk->code;
        std::size_t sent = 0;
        int number = 1;
        do {
            const std::size_t length = std::min(options.blockSize, code.size() - sent);
            const bool last = sent + length == code.size();
            const int block = last ? 0 : number;
            const std::span<const std::uint8_t> data(code.data() + sent, length);
            for (int attempt = 1;; ++attempt) {
                ExecuteResult r = session.execute(Request::transferData(block, data));
                if (!r) return failed(r.error(), name + ", " + blockText(block));
                const std::uint8_t status = r->data.at(0);
                if (status == 0) break;
                // A damaged block is resent under its own number: the brick still expects it.
                if (static_cast<TransferStatus>(status) == TransferStatus::BlockChecksum &&
                    attempt < options.blockAttempts) {
                    continue;
                }
                return failed(LinkError::BadCommunication,
                              name + ", " + blockText(block) + ": " + statusText(status));
            }
            sent += length;
            done += length;
            ++number;
            if (progress) progress(done, total);
        } while (sent < code.size());
    }
    // The brick's own signal that a program arrived; the program is in place whatever it says.
    if (!options.quiet) session.execute(Request{{op::kPlaySound, 5}});
    return std::monostate{};
}

}  // namespace towerlink
