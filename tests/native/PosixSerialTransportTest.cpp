// The POSIX serial transport against the virtual brick on a pseudo-terminal, in real time. A
// port that is missing shows in the towerlink tool's tests.
#include "PosixSerialTransport.h"

#include <gtest/gtest.h>

#include <stop_token>
#include <thread>

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
