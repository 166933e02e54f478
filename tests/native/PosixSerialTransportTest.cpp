// The POSIX serial transport against the virtual brick on a pseudo-terminal, in real time.
#include "PosixSerialTransport.h"

#include <gtest/gtest.h>

#include <thread>

#include "CommandParser.h"
#include "Datalog.h"
#include "PtyBrickServer.h"
#include "Session.h"

using namespace towerlink;

namespace {

// Runs a pty brick on its own thread for the life of the object.
struct PtyBrick {
    explicit PtyBrick(PtyBrickOptions options = {}) : brick(clock) {
        auto created = PtyBrickServer::create(brick, options);
        EXPECT_TRUE(created.ok());
        server = std::move(created.value());
        thread = std::thread([this] { server->serve(); });
    }
    ~PtyBrick() {
        server->stop();
        thread.join();
    }

    SystemClock clock;
    VirtualBrick brick;
    std::unique_ptr<PtyBrickServer> server;
    std::thread thread;
};

}  // namespace

TEST(PosixSerialTransport, ReportsAMissingPortAsNoTower) {
    auto t = PosixSerialTransport::open("/dev/nonexistent-tower");
    ASSERT_FALSE(t.ok());
    EXPECT_EQ(t.error().error, LinkError::NoTower);
    EXPECT_NE(t.error().osError, 0);
    EXPECT_NE(t.error().message.find("/dev/nonexistent-tower"), std::string::npos);
}

TEST(PosixSerialTransport, DrivesTheBrickOnAPseudoTerminal) {
    PtyBrick pty;
    pty.brick.fillDatalog(60);
    auto port = PosixSerialTransport::open(pty.server->path());
    ASSERT_TRUE(port.ok()) << port.error().message;
    SystemClock clock;
    Session session(*port.value(), clock);
    auto run = [&](const char* text) {
        return session.execute(parseCommand(text, CommandForm::Lasm).value());
    };
    ASSERT_TRUE(run("out 2,1").ok());
    ASSERT_TRUE(run("setv 3,2,-1234").ok());
    ExecuteResult poll = run("poll 0,3");
    ASSERT_TRUE(poll.ok());
    EXPECT_EQ(poll->value, -1234);
    EXPECT_EQ(run("pollb")->value, 9300);

    Datalog log(session);
    ASSERT_EQ(log.extent().value(), 183);
    auto bytes = log.readBytes(1, 181);
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(bytes->size(), 181u);
    EXPECT_EQ(session.stats().retries, 0u);
}
