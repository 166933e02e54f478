// The POSIX serial transport against the virtual brick on a pseudo-terminal, in real time. A
// port that is missing shows in the towerlink tool's tests.
#include "PosixSerialTransport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <stop_token>
#include <thread>
#include <vector>

#include "CommandParser.h"
#include "Datalog.h"
#include "PtyBrickServer.h"
#include "Session.h"

using namespace towerlink;

TEST(PosixSerialTransport, DrivesTheBrickOnAPseudoTerminal) {
    SystemClock clock;
    VirtualBrick brick(clock);
    brick.fillDatalog(60);
    auto server = PtyBrickServer::create(brick);
    ASSERT_TRUE(server.ok()) << server.error().message;
    // Serves on its own thread until the thread is stopped and joined at the end of the test.
    std::jthread serving([&](std::stop_token stop) {
        std::stop_callback onStop(stop, [&] { server.value()->stop(); });
        server.value()->serve();
    });
    auto port = PosixSerialTransport::open(server.value()->path());
    ASSERT_TRUE(port.ok()) << port.error().message;
    Session session(*port.value(), clock);
    auto run = [&](const char* text) {
        return session.execute(parseCommand(text, CommandForm::Lasm).value());
    };
    ASSERT_TRUE(run("setv 3,2,-1234").ok());
    ExecuteResult poll = run("poll 0,3");
    ASSERT_TRUE(poll.ok());
    EXPECT_EQ(poll->value, -1234);

    Datalog log(session);
    ASSERT_EQ(log.extent().value(), 183);
    auto bytes = log.readBytes(1, 181);
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(bytes->size(), 181u);
    EXPECT_EQ(session.stats().retries, 0u);
}

// A client that writes and never reads fills the terminal both ways; stop() must still end the
// server, as a signal handler calls it when a script kills the brick.
TEST(PtyBrickServer, StopsWhileNobodyReadsItsOutput) {
    SystemClock clock;
    VirtualBrick brick(clock);
    auto server = PtyBrickServer::create(brick);
    ASSERT_TRUE(server.ok()) << server.error().message;
    const int client = ::open(server.value()->path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(client, 0);
    std::promise<void> served;
    std::thread serving([&] {
        server.value()->serve();
        served.set_value();
    });
    const std::vector<std::uint8_t> zeros(256, 0);  // no request header: only echoes come back
    for (int full = 0; full < 20;) {
        if (::write(client, zeros.data(), zeros.size()) > 0) {
            full = 0;
        } else {
            ++full;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    server.value()->stop();
    std::future<void> end = served.get_future();
    EXPECT_EQ(end.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "the server still waits to write";
    std::vector<std::uint8_t> drain(4096);  // lets a server that did not stop get to the end
    while (end.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        [[maybe_unused]] ssize_t n = ::read(client, drain.data(), drain.size());
    }
    serving.join();
    ::close(client);
}
