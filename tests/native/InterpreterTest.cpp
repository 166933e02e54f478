// The virtual brick running programs that NQC compiled at build time, checked by what direct
// commands read afterwards; hand-made bytecode for what a compiler would never emit.
#include "Interpreter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "BrickConsole.h"
#include "BrickRig.h"
#include "Datalog.h"
#include "ByteOrder.h"
#include "TestBytes.h"

using namespace towerlink;
using namespace std::chrono_literals;
using test::BrickRig;
using test::bytes;

namespace {

// Variable names and numbers, from the image's symbols.
using Names = std::map<std::string, int>;

// Puts a compiled image into a program slot. A minimal reader for the test: the project's own
// reader of the format is tested on its own.
Names load(VirtualBrick& brick, const std::string& name, int slot = 0) {
    std::ifstream in(std::string(KESTREL_TEST_PROGRAMS) + "/" + name + ".rcx", std::ios::binary);
    const Bytes file{std::istreambuf_iterator<char>(in), {}};
    EXPECT_GE(file.size(), 12u) << name;
    if (file.size() < 12) return {};
    const int chunks = readU16(file, 6), symbols = readU16(file, 8);
    std::size_t at = 12;
    for (int i = 0; i < chunks; ++i) {
        const int length = readU16(file, at + 2);
        const auto kind = file[at] == 0 ? ChunkKind::Task : ChunkKind::Subroutine;
        brick.programs().store().put(slot, kind, file[at + 1],
                                     Bytes(file.begin() + static_cast<long>(at) + 4,
                                           file.begin() + static_cast<long>(at) + 4 + length));
        at += 4 + static_cast<std::size_t>((length + 3) & ~3);
    }
    Names names;
    for (int i = 0; i < symbols; ++i) {
        const int length = file[at + 2];
        if (file[at] == 2) names[reinterpret_cast<const char*>(&file[at + 4])] = file[at + 1];
        at += 4 + static_cast<std::size_t>(length);
    }
    return names;
}

// A brick with one program in slot 1, task 0 started through the link.
struct ProgramRun {
    explicit ProgramRun(const std::string& program, MemoryTransportOptions options = {})
        : rig(options), names(load(rig.brick, program)) {}
    void start() { rig.answer("start 0"); }
    // Reads a global variable through the link.
    int var(const std::string& name) {
        return rig.answer("poll 0," + std::to_string(names.at(name)));
    }
    // Lets brick time pass.
    void after(Micros time) {
        rig.clock.advance(time);
        rig.brick.runPrograms();
    }
    // Checks variables given as "name=value name=value".
    void expect(const std::string& values) {
        std::istringstream in(values);
        for (std::string item; in >> item;) {
            const auto eq = item.find('=');
            EXPECT_EQ(var(item.substr(0, eq)), std::stoi(item.substr(eq + 1), nullptr, 0)) << item;
        }
    }
    BrickRig rig;
    Names names;
};

}  // namespace

// Each program runs to its end and leaves its results in its variables. RCX2 code loops with
// decvjn and decvjnl, RCX code ("flow-rcx") with the loop counter stack (loopc, loopcl); both
// jump with jmp and jmpl and test with chk and chkl.
TEST(Interpreter, RunsCompiledProgramsToTheirResults) {
    const char* flow =
        "whiles=10 repeats=14 untils=5 ifs=121 longs=105 dos=4 nested=12 "
        "longRepeats=112";
    const struct {
        const char* program;
        Micros time;
        const char* expected;
    } cases[] = {
        {"arithmetic", 1ms,
         "a=2993 b=32767 c=-1 d=0x1A51 e=1234 v=-25536 f=60 g=400 h=25 k=0 n=-3 p=2 q=6000 "
         "s=103 u=250 w=9300 zero=50 m=1"},
        {"flow", 10ms, flow},
        {"flow-rcx", 10ms, flow},
        {"subs", 200ms, "fromHelper=33 calls=44 done=1"},  // past main's Wait(10)
    };
    for (const auto& c : cases) {
        ProgramRun run(c.program);
        run.rig.brick.setSensorRaw(1, 400);
        run.rig.clock.advance(2500ms);  // timers count from the brick's start
        run.start();
        run.after(c.time);
        run.expect(c.expected);
        if (std::string(c.program) == "arithmetic") {
            EXPECT_EQ(run.rig.answer("poll 0,2"), 42);  // r[2], written through the indirect source
        }
        EXPECT_TRUE(run.rig.brick.interpreter().diagnostics().empty()) << c.program;
    }
}

TEST(Interpreter, KeepsLocalsPerTaskAndRestartsTasks) {
    ProgramRun run("locals");
    run.start();
    run.after(1ms);
    EXPECT_EQ(run.rig.brick.state().runningTasks, 0b11u);  // "other" has ended already
    run.after(3s);
    run.expect("ticks=10 restarts=3 counter=1 mainLocal=5 otherLocal=77");
    EXPECT_EQ(run.rig.brick.state().runningTasks, 0u);
}

TEST(Interpreter, WaitsAndTimersRunOnTheBricksClock) {
    ProgramRun run("timing");
    run.start();
    run.after(30s);
    EXPECT_EQ(run.var("stage"), 1);
    run.after(31s);
    run.expect("stage=2 t0=600 fast=6000 watch=90");
    run.after(5s);
    EXPECT_EQ(run.var("stage"), 2);  // still waiting for timer 1 to reach 70 s
    run.after(5s);
    EXPECT_EQ(run.var("stage"), 3);
}

TEST(Interpreter, FollowsSensorsTheTestDrives) {
    ProgramRun run("sensors");
    run.rig.brick.setSensorRaw(2, 500);
    run.start();
    run.after(100ms);
    EXPECT_EQ(run.var("presses"), 0);
    const int raws[] = {100, 1023, 100};  // press, release, press
    for (int raw : raws) {
        run.rig.brick.setSensorRaw(0, raw);
        run.after(10ms);
    }
    run.expect("presses=2 light=51 done=1");
}

TEST(Interpreter, DrivesMotorsAndQueuesSounds) {
    ProgramRun run("output");
    run.start();
    run.after(1ms);
    EXPECT_EQ(run.rig.answer("poll 3,0"), 0x87);             // A on, forward, power 7
    EXPECT_EQ(run.rig.answer("poll 3,1"), 0x80 | 0x08 | 3);  // B on, reverse, power 3
    EXPECT_EQ(run.rig.answer("poll 3,2"), 0x47);             // C off
    // Eight sounds fit the queue; the task waits for the first to end before the ninth.
    EXPECT_EQ(run.rig.brick.state().sounds, std::vector<int>{3});
    EXPECT_EQ(run.rig.brick.state().tones.size(), 7u);
    EXPECT_EQ(run.var("done"), 0);
    run.after(2s);
    EXPECT_EQ(run.rig.brick.state().tones.size(), 11u);
    EXPECT_EQ(run.var("done"), 1);
}

TEST(Interpreter, WritesADatalogThatUploadsThroughTheLink) {
    ProgramRun run("datalog");
    run.rig.clock.advance(1200ms);
    run.start();
    run.after(1ms);
    Datalog log(run.rig.session);
    ASSERT_TRUE(log.extent().ok());
    EXPECT_EQ(log.extent().value(), 12);
    auto data = log.readBytes(0, 12);
    ASSERT_TRUE(data.ok());
    const auto x = static_cast<std::uint8_t>(run.names.at("x"));
    EXPECT_EQ(data.value(), (Bytes{0xFF, 4, 0, x, 123, 0, x, 0xFB, 0xFF, 0x20, 12, 0}));
}

// Bytecode no compiler emits: each case stops task 0 with a diagnostic, or does nothing.
TEST(Interpreter, StopsATaskOnFaultyCodeAndGoesOn) {
    const struct {
        const char* name;
        const char* task;
        const char* sub0;
        const char* diagnostic;  // "" for none
        int var0;                // after the run
    } cases[] = {
        {"illegal", "14 00 02 01 00  08  14 00 02 02 00", "", "address 5: illegal opcode 0x8", 1},
        {"replacement firmware's", "0E 00", "", "illegal opcode 0xe", 0},
        {"branch out", "14 00 02 01 00  27 10", "", "branch to 22 leaves the chunk of 7", 1},
        {"backward branch out", "72 85 01", "", "branch to -132", 0},
        {"cut off", "14 00 02 01 00  14 00 02", "", "address 5: setv is cut off", 1},
        {"sub from sub", "17 00  14 00 02 09 00", "14 00 02 01 00  17 00",
         "in subroutine 0 stopped at address 5: subroutine 0 called", 1},
        {"undefined source", "14 00 07 00 00", "", "source 7 argument 0 does not exist", 0},
        {"no such variable", "14 30 02 01 00", "", "variable 48 does not exist", 0},
        {"undefined sub", "17 03  14 00 02 01 00", "", "", 1},
        {"undefined task", "71 05  14 00 02 01 00", "", "", 1},
        {"toggled spelling", "1C 00 02 05 00  2C 00 02 01 00", "", "", 6},
        {"division by zero", "14 00 02 07 00  44 00 02 00 00", "", "", 7},
        {"end of sub returns", "17 00  24 00 02 01 00", "14 00 02 04 00", "", 5},
        // Four counters of 1, then 3 in place of the top: five loops adding 1 to variable 0 run
        // 3, 1, 1, 1 and 0 times, the last finding the stack empty.
        {"fifth loop counter",
         "82 02 01  82 02 01  82 02 01  82 02 01  82 02 03  37 08 24 00 02 01 00 27 88  "
         "37 08 24 00 02 01 00 27 88  37 08 24 00 02 01 00 27 88  37 08 24 00 02 01 00 27 88  "
         "37 08 24 00 02 01 00 27 88",
         "", "", 6},
    };
    for (const auto& c : cases) {
        BrickRig rig;
        rig.brick.programs().store().put(0, ChunkKind::Task, 0, bytes(c.task));
        rig.brick.programs().store().put(0, ChunkKind::Task, 1,
                                         bytes("24 01 02 01 00  43 02 01 00  27 8A"));
        if (*c.sub0) rig.brick.programs().store().put(0, ChunkKind::Subroutine, 0, bytes(c.sub0));
        rig.answer("start 1");
        rig.answer("start 0");
        rig.clock.advance(100ms);
        EXPECT_EQ(rig.answer("poll 0,0"), c.var0) << c.name;
        const auto& d = rig.brick.interpreter().diagnostics();
        ASSERT_EQ(d.size(), *c.diagnostic ? 1u : 0u) << c.name << ": " << (d.empty() ? "" : d[0]);
        if (*c.diagnostic) {
            EXPECT_NE(d[0].find(c.diagnostic), std::string::npos) << c.name << ": " << d[0];
        }
        EXPECT_EQ(rig.brick.state().runningTasks, 0b10u) << c.name;  // task 1 goes on
        EXPECT_GE(rig.answer("poll 0,1"), 9) << c.name;
    }
}

TEST(Interpreter, ReportsEventsCompiledByNqc) {
    ProgramRun run("events");
    std::string reported;
    run.rig.brick.interpreter().setDiagnosticSink([&](const std::string& s) { reported = s; });
    run.start();
    run.after(1ms);
    run.expect("before=1 after=0");
    EXPECT_NE(reported.find("task 0 stopped at address"), std::string::npos) << reported;
    EXPECT_NE(reported.find("sete"), std::string::npos) << reported;
}

TEST(Interpreter, SharesItsWorldWithDirectCommands) {
    ProgramRun run("spin");
    load(run.rig.brick, "subs", 2);
    run.start();
    run.after(10ms);
    const int spins = run.var("spins");
    EXPECT_GT(spins, 100);
    run.rig.answer("setv 0,2,-1000");  // the program's variable, set from the PC
    run.after(1ms);
    EXPECT_GT(run.var("spins"), -1000);
    EXPECT_LT(run.var("spins"), -800);
    run.rig.answer("stop 0");
    const int stopped = run.var("spins");
    run.after(1s);
    EXPECT_EQ(run.var("spins"), stopped);
    run.rig.answer("prgm 2");
    run.rig.answer("start 0");  // slot 3's main
    run.after(300ms);
    EXPECT_EQ(run.rig.answer("poll 0,2"), 1);  // its "done"
}

TEST(Interpreter, StartsATaskAtOnceWhileAnotherWaitsLong) {
    BrickRig rig;
    rig.brick.programs().store().put(0, ChunkKind::Task, 0, bytes("43 02 70 17  14 01 02 02 00"));
    rig.brick.programs().store().put(0, ChunkKind::Task, 1, bytes("14 00 02 01 00"));
    rig.answer("start 0");
    rig.clock.advance(1s);
    rig.answer("start 1");
    rig.clock.advance(10ms);
    EXPECT_EQ(rig.answer("poll 0,0"), 1);
    rig.clock.advance(59s);
    EXPECT_EQ(rig.answer("poll 0,1"), 2);  // the minute's wait ended on time
}

TEST(Interpreter, AnswersAsFastWhileATaskSpins) {
    ProgramRun run("spin", {.echo = true, .paced = true});
    run.rig.answer("ping");
    const Micros idle = run.rig.took;
    run.start();
    for (int i = 0; i < 5; ++i) {
        const auto real = std::chrono::steady_clock::now();
        run.rig.answer("pollb");
        run.rig.answer("ping");
        EXPECT_EQ(run.rig.took, idle);
        EXPECT_LT(std::chrono::steady_clock::now() - real, 250ms);
    }
    EXPECT_GT(run.rig.brick.interpreter().instructionsRun(), 10000u);
    // A host that leaves the brick alone for an hour does not hold up the next reply.
    const auto before = run.rig.brick.interpreter().instructionsRun();
    run.rig.clock.advance(1h);
    const auto real = std::chrono::steady_clock::now();
    run.rig.answer("ping");
    EXPECT_LT(std::chrono::steady_clock::now() - real, 2s);
    EXPECT_LE(run.rig.brick.interpreter().instructionsRun() - before,
              Interpreter::kMaxCatchUp + 10000);
}

TEST(BrickConsole, DrivesSensorsRunsAndShows) {
    ProgramRun run("sensors");
    BrickConsole console(run.rig.brick);
    const struct {
        const char* line;
        const char* output;  // start of what it prints, or of the refusal after "!"
    } lines[] = {
        {"sensor 3 500", ""},
        {"run", ""},
        {"press 1", ""},
        {"release 1", ""},
        {"  press   1 ", ""},
        {"show", "program 1, tasks: none\nvariables: 0=2 1=51 2=1\nmotors: A float fwd 7"},
        {"sensor 4 100", "!sensor: the sensor is 1, 2 or 3"},
        {"sensor 1 1024", "!sensor: the raw value is 0 to 1023"},
        {"press", "!press: needs a sensor (1-3)"},
        {"run 2", "!run: takes nothing after it"},
        {"jump", "!unknown command 'jump'"},
        {"", ""},
    };
    for (const auto& l : lines) {
        run.after(10ms);
        auto r = console.execute(l.line);
        const std::string got = r ? r.value() : "!" + r.error().message;
        EXPECT_EQ(got.rfind(l.output, 0), 0u) << l.line << " gave " << got;
    }
}
