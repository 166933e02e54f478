// USB tower I/O: overlapped transfers, so that a read gives up at the session's deadline even
// though the driver itself would wait longer.
#include "Win32UsbTowerTransport.h"

#include <algorithm>
#include <memory>

#include "Packet.h"

namespace towerlink {
namespace {

constexpr DWORD kWriteWaitMs = 2000;
constexpr DWORD kCancelWaitMs = 1000;

}  // namespace

Win32UsbTowerTransport::Win32UsbTowerTransport(kestrel::Win32Handle device,
                                               kestrel::Win32Handle event, std::string name)
    : device_(std::move(device)), event_(std::move(event)), name_(std::move(name)) {}

Result<std::unique_ptr<Win32UsbTowerTransport>, Failure> Win32UsbTowerTransport::open(int number) {
    const std::string name = number == 1 ? "USB" : "USB" + std::to_string(number);
    const std::wstring path = L"\\\\.\\LEGOTOWER" + std::to_wstring(number);
    kestrel::Win32Handle device(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!device) {
        return Failure{LinkError::NoTower, "opening " + name, static_cast<int>(GetLastError())};
    }
    kestrel::Win32Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return Failure{LinkError::NoTower, "opening " + name, static_cast<int>(GetLastError())};
    }
    return std::unique_ptr<Win32UsbTowerTransport>(
        new Win32UsbTowerTransport(std::move(device), std::move(event), name));
}

IoResult Win32UsbTowerTransport::transfer(bool reading, std::uint8_t* data, std::size_t size,
                                          DWORD waitMs) {
    const char* what = reading ? "reading from " : "writing to ";
    if (abandoned_) return IoResult::failure(what + name_, ERROR_TIMEOUT);
    // The driver works on a block of our own, which can be let go if it never gives it back.
    struct Block {
        OVERLAPPED overlapped{};
        Bytes buffer;
    };
    auto block = std::make_unique<Block>();
    block->buffer.assign(data, data + size);
    block->overlapped.hEvent = event_.get();
    ResetEvent(event_.get());
    const DWORD length = static_cast<DWORD>(size);
    DWORD moved = 0;
    const BOOL started =
        reading
            ? ReadFile(device_.get(), block->buffer.data(), length, nullptr, &block->overlapped)
            : WriteFile(device_.get(), block->buffer.data(), length, nullptr, &block->overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        return IoResult::failure(what + name_, static_cast<int>(GetLastError()));
    }
    if (WaitForSingleObject(event_.get(), waitMs) != WAIT_OBJECT_0) {
        CancelIo(device_.get());
        // A driver that never completes the cancel would hold the caller forever: after a
        // bounded wait the block is left to the driver and the tower is given up.
        if (WaitForSingleObject(event_.get(), kCancelWaitMs) != WAIT_OBJECT_0) {
            block.release();
            abandoned_ = true;
            return IoResult::failure(what + name_, ERROR_TIMEOUT);
        }
    }
    if (!GetOverlappedResult(device_.get(), &block->overlapped, &moved, FALSE)) {
        const DWORD error = GetLastError();
        if (error != ERROR_OPERATION_ABORTED) {
            return IoResult::failure(what + name_, static_cast<int>(error), moved);
        }
    }
    if (reading) std::copy_n(block->buffer.begin(), std::min<std::size_t>(moved, size), data);
    return IoResult::done(moved);
}

IoResult Win32UsbTowerTransport::write(std::span<const std::uint8_t> bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        Bytes copy(bytes.begin() + static_cast<std::ptrdiff_t>(written), bytes.end());
        IoResult io = transfer(false, copy.data(), copy.size(), kWriteWaitMs);
        written += io.count;
        if (io.failed) return IoResult::failure(io.detail, io.osError, written);
        if (io.count == 0) return IoResult::failure("writing to " + name_, ERROR_TIMEOUT, written);
    }
    return IoResult::done(written);
}

IoResult Win32UsbTowerTransport::read(std::span<std::uint8_t> buffer, Micros firstByte,
                                      Micros interByte) {
    std::size_t count = 0;
    DWORD wait = toMilliseconds(firstByte);
    while (count < buffer.size()) {
        IoResult io = transfer(true, buffer.data() + count, buffer.size() - count, wait);
        count += io.count;
        if (io.failed) return IoResult::failure(io.detail, io.osError, count);
        if (io.count == 0) break;
        wait = toMilliseconds(interByte);
    }
    return IoResult::done(count);
}

void Win32UsbTowerTransport::discardInput() {
    std::uint8_t scrap[64];
    for (int i = 0; i < 16; ++i) {
        IoResult io = transfer(true, scrap, sizeof(scrap), 0);
        if (io.failed || io.count == 0) break;
    }
}

}  // namespace towerlink
