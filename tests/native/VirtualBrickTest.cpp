// The virtual brick's state after each command, driven through the real session and parser.
#include "VirtualBrick.h"

#include <gtest/gtest.h>

#include "BrickRig.h"
#include "TestBytes.h"

using namespace towerlink;
using test::BrickRig;
using test::bytes;
using test::packet;

TEST(VirtualBrick, DrivesMotors) {
    BrickRig rig;
    rig.answer("out 2,1");
    rig.answer("dir 0,3");
    rig.answer("dir 1,1");  // flip
    rig.answer("pwr 6,2,3");
    rig.answer("setv 4,2,9");
    rig.answer("pwr 1,0,4");  // out of range from a variable: ignored
    rig.answer("out 1,4");
    rig.answer("out 0,1");
    // Motor state source: power, 0x08 reverse, 0x40 off, 0x80 on.
    EXPECT_EQ(rig.answer("poll 3,0"), 7);
    EXPECT_EQ(rig.answer("poll 3,1"), 0x08 | 3);
    EXPECT_EQ(rig.answer("poll 3,2"), 0x40 | 3);
}

TEST(VirtualBrick, AppliesVariableArithmeticRules) {
    BrickRig rig;
    const auto& v = rig.brick.state().variables;
    const struct {
        const char* text;
        int var;
        int expected;
    } steps[] = {
        {"setv 0,2,1000", 0, 1000},    {"sumv 0,2,500", 0, 1500}, {"subv 0,2,2000", 0, -500},
        {"mulv 0,2,3", 0, -1500},      {"divv 0,2,0", 0, -1500},  {"divv 0,2,7", 0, -214},
        {"andv 0,2,255", 0, 42},       {"orv 0,2,256", 0, 298},   {"sgnv 0,2,-9", 0, -1},
        {"absv 0,2,-32768", 0, 32767}, {"sumv 0,2,1", 0, -32768}, {"absv 0,2,-5", 0, 5},
        {"setv 1,2,3", 1, 3},
    };
    for (const auto& step : steps) {
        rig.answer(step.text);
        EXPECT_EQ(v[step.var], step.expected) << step.text;
    }
    rig.answer("sumv 0,0,1");  // add variable 1
    rig.answer("setv 2,0,0");
    EXPECT_EQ(rig.answer("poll 0,2"), 8);
}

TEST(VirtualBrick, ModelsSensors) {
    BrickRig rig;
    const auto& sensors = rig.brick.state().sensors;
    // The sensor's value, read right after its raw reading changes to `raw`.
    auto valueAt = [&](int sensor, int raw) {
        rig.brick.setSensorRaw(sensor, raw);
        return rig.answer("poll 9," + std::to_string(sensor));
    };
    rig.answer("sent 0,1");  // touch: boolean mode
    EXPECT_EQ(sensors[0].modeByte, 0x20);
    EXPECT_EQ(valueAt(0, 300), 1);
    rig.brick.setSensorRaw(0, 500);  // inside the hysteresis band: unchanged
    EXPECT_EQ(rig.answer("poll 13,0"), 1);
    EXPECT_EQ(valueAt(0, 1000), 0);
    rig.answer("senm 0,2,0");  // transition count, cleared by the mode change
    for (int raw : {100, 1000, 100, 1000, 100}) rig.brick.setSensorRaw(0, raw);
    EXPECT_EQ(rig.answer("poll 9,0"), 5);
    rig.answer("senm 0,3,0");
    for (int raw : {1000, 100, 1000, 100}) rig.brick.setSensorRaw(0, raw);
    EXPECT_EQ(rig.answer("poll 9,0"), 2);
    rig.answer("senz 0");
    EXPECT_EQ(rig.answer("poll 9,0"), 0);
    rig.answer("senm 1,1,10");  // boolean by slope: a fall of more than 10 sets it
    rig.brick.setSensorRaw(1, 1000);
    EXPECT_EQ(valueAt(1, 980), 1);
    EXPECT_EQ(valueAt(1, 985), 1);
    EXPECT_EQ(valueAt(1, 1000), 0);
    rig.answer("sent 2,4");  // rotation: angle mode
    rig.brick.rotateSensor(2, -37);
    EXPECT_EQ(rig.answer("poll 9,2"), -37);
    EXPECT_EQ(rig.answer("poll 10,2"), 4);
    EXPECT_EQ(rig.answer("poll 11,2"), 0xE0);
    rig.answer("sent 1,2");  // temperature: tenths of a degree
    EXPECT_EQ(valueAt(1, 625), 200);
    EXPECT_EQ(rig.answer("poll 12,1"), 625);
    rig.answer("senm 1,6,0");
    EXPECT_EQ(rig.answer("poll 9,1"), 680);
}

TEST(VirtualBrick, KeepsTimeWatchProgramDisplayAndSound) {
    BrickRig rig;
    const BrickState& s = rig.brick.state();
    rig.answer("tmrz 2");
    rig.clock.advance(Micros{2'550'000});
    EXPECT_EQ(rig.answer("poll 1,2"), 25);
    rig.answer("setw 23,59");
    rig.clock.advance(std::chrono::minutes(2));
    EXPECT_EQ(rig.answer("poll 14,0"), 1);
    // Tasks that wait ten seconds; a task without code does not start.
    for (auto [slot, task] : {std::pair{0, 3}, {4, 1}, {4, 2}})
        rig.brick.programs().store().put(slot, ChunkKind::Task, task, bytes("43 02 E8 03"));
    rig.answer("start 4");
    EXPECT_EQ(s.runningTasks, 0);
    rig.answer("start 3");
    EXPECT_EQ(s.runningTasks, 1 << 3);
    rig.answer("prgm 4");
    EXPECT_EQ(s.runningTasks, 0);
    EXPECT_EQ(rig.answer("poll 8,0"), 4);
    rig.answer("start 1");
    rig.answer("start 2");
    rig.answer("stop 1");
    EXPECT_EQ(s.runningTasks, 1 << 2);
    rig.answer("view 2,5");
    EXPECT_EQ(s.displayDevice, 5);
    rig.answer("disp 1,0,3");
    EXPECT_EQ(s.displayDevice, 7);
    EXPECT_EQ(s.userPrecision, 1);
    EXPECT_EQ(s.userArgument, 3);
    rig.answer("plays 3");
    rig.run("Sound 2", CommandForm::Statement);
    EXPECT_EQ(s.sounds, (std::vector<int>{3, 1}));
    rig.answer("playt 440,50");
    EXPECT_EQ(s.tones, (std::vector<Tone>{{440, 50}}));
    rig.answer("tout 0");
    rig.answer("offp");  // ignored while the power-down delay is 0
    EXPECT_TRUE(s.poweredOn);
    rig.answer("msgs 77");
    EXPECT_EQ(rig.answer("poll 15,0"), 77);
}

TEST(VirtualBrick, KeepsADatalog) {
    BrickRig rig;
    EXPECT_EQ(rig.answer("log 0,0"), 1);    // no datalog yet: full
    EXPECT_EQ(rig.answer("logz 2048"), 1);  // 2049 entries of 3 bytes: more than 6144
    EXPECT_EQ(rig.answer("logz 2047"), 0);
    EXPECT_EQ(rig.answer("logz 3"), 0);  // room for 3 entries besides the size entry
    rig.answer("setv 7,2,-300");
    rig.brick.setSensorRaw(1, 55);
    EXPECT_EQ(rig.answer("log 0,7"), 0);
    EXPECT_EQ(rig.answer("log 9,1"), 0);
    EXPECT_EQ(rig.answer("log 14,0"), 0);
    EXPECT_EQ(rig.answer("log 1,0"), 1);  // full
    EXPECT_EQ(rig.reply("polld 0,4").data, bytes("FF 04 00  07 D4 FE  41 37 00  80 00 00"));
    EXPECT_TRUE(rig.reply("polld 2,3").data.empty());
}

TEST(VirtualBrick, AnswersARepeatWithItsPreviousReply) {
    ManualClock clock;
    VirtualBrick brick(clock);
    const Bytes sum = packet("24 00 02 05 00");
    const Bytes reply = bytes("55 FF 00 DB 24 DB 24");
    EXPECT_EQ(brick.receive(sum), reply);
    EXPECT_EQ(brick.receive(sum), reply);
    // Toggled, the same sum is new: 10, not 15 after the repeat.
    EXPECT_EQ(brick.receive(packet("2C 00 02 05 00")), bytes("55 FF 00 D3 2C D3 2C"));
    EXPECT_EQ(brick.state().variables[0], 10);
    // Alive makes the brick forget, so the same bytes count as new.
    EXPECT_EQ(brick.receive(packet("10")), bytes("55 FF 00 EF 10 EF 10"));
    brick.receive(packet("2C 00 02 05 00"));
    EXPECT_EQ(brick.state().variables[0], 15);
}

// What else a brick without firmware answers, the session's and the ROM's tests show.
TEST(VirtualBrick, ReportsFirmwareVersionZeroOnlyForTheRightKey) {
    ManualClock clock;
    VirtualBrick brick(clock);
    brick.setFirmware(false);
    EXPECT_EQ(brick.receive(packet("15 01 03 05 07 0B")), packet("EA 00 03 00 01 00 00 00 00"));
    EXPECT_TRUE(brick.receive(packet("1D 01 03 05 07 0C")).empty());  // wrong key
}

TEST(VirtualBrick, InjectsRepeatableLineFaults) {
    auto run = [](std::uint32_t sequence) {
        ManualClock clock;
        VirtualBrick brick(clock, sequence);
        brick.setFaults({.corruptRate = 0.05, .dropRate = 0.02});
        Bytes all;
        for (int i = 0; i < 50; ++i) {
            Bytes out = brick.receive(packet(i % 2 ? "10" : "18"));
            all.insert(all.end(), out.begin(), out.end());
        }
        return all;
    };
    EXPECT_EQ(run(3), run(3));
    EXPECT_NE(run(3), run(4));
    const Bytes noisy = run(3);
    EXPECT_LT(noisy.size(), 50u * 7u);
    EXPECT_GT(noisy.size(), 50u * 7u / 4u);

    // Each way alone: a damaged request goes unanswered, a damaged reply comes back changed.
    ManualClock clock;
    VirtualBrick hears(clock, 3), sends(clock, 3);
    hears.setFaults({.corruptRate = 0.2, .outbound = false});
    sends.setFaults({.corruptRate = 0.2, .inbound = false});
    const Bytes ping = packet("10"), pong = packet("EF");
    int unanswered = 0, changed = 0;
    for (int i = 0; i < 50; ++i) {
        const Bytes a = hears.receive(ping), b = sends.receive(ping);
        EXPECT_TRUE(a.empty() || a == pong);
        EXPECT_EQ(b.size(), pong.size());
        unanswered += a.empty();
        changed += b != pong;
    }
    EXPECT_GT(unanswered, 0);
    EXPECT_GT(changed, 0);
}
