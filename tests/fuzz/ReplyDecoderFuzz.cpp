// libFuzzer target: arbitrary bytes from the line through the reply decoder and the brick's
// request decoder. The first three input bytes choose the opcode sent, the reply length and
// whether an echo is expected. Fed whole or one byte at a time, a tower without echo must
// give the same verdict; a decoded reply must have the length that was asked for.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "ReplyDecoder.h"
#include "RequestDecoder.h"

using namespace towerlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint8_t sent = data[0];
    const ReplyShape shape{true, static_cast<std::size_t>(data[1] % 32), (data[1] & 0x80) != 0};
    const bool echo = (data[2] & 1) != 0;
    const std::span<const std::uint8_t> stream(data + 3, size - 3);

    ReplyDecoder whole(sent, shape);
    whole.feed(stream);
    ReplyDecoder single(sent, shape);
    for (std::size_t i = 0; i < stream.size() && !single.complete(); ++i) {
        if (single.bytesWanted() == 0) std::abort();
        single.feed(stream.subspan(i, 1));
    }
    if (whole.complete() != single.complete()) std::abort();
    if (whole.complete()) {
        if (whole.data() != single.data()) std::abort();
        const std::size_t n = whole.data().size();
        if (n != shape.dataLength && !(shape.mayBeEmpty && n == 0)) std::abort();
    }

    if (echo) {
        const Bytes request = encodePacket(Bytes{sent});
        ReplyDecoder echoed(sent, shape, request);
        echoed.feed(stream);
        if (echoed.bytesAfterEcho() > echoed.received()) std::abort();
    }

    RequestDecoder brick;
    for (const Bytes& r : brick.feed(stream)) {
        if (r.empty()) std::abort();
    }
    return 0;
}
