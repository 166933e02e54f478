// towerlink_bench: how close the link comes to the line's own speed. Runs each kind of command,
// and a 100-entry datalog upload, against the virtual brick on a pseudo-terminal that paces its
// output at 2400 baud 8O1, and compares the time taken with the time the packet bytes need on
// the wire (11 bits a byte). Prints a Markdown table.
//
//   towerlink_bench [N] [--trace]          each command and the datalog, N times (default 5)
//   towerlink_bench [N] --stall [--trace]  the datalog with the brick paused 700 ms into it
//   towerlink_bench [N] --noise            the datalog on a noisy line, N series (default 10)
//   towerlink_bench [N] --firmware         a 16 KB firmware download on a noisy line, N fault
//                                          sequences (default 10), in the in-process brick's time
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "CommandParser.h"
#include "Opcodes.h"
#include "Datalog.h"
#include "FirmwareDownload.h"
#include "MemoryTransport.h"
#include "PosixSerialTransport.h"
#include "PtyBrickServer.h"
#include "Session.h"
#include "VirtualBrick.h"

using namespace towerlink;

namespace {

double ms(Micros t) {
    return static_cast<double>(t.count()) / 1000.0;
}

struct Measurement {
    std::size_t sent = 0;     // request bytes
    std::size_t replied = 0;  // reply bytes, echo not counted
    Micros took{0};
};

// Runs `work` and takes its time and the bytes it moved; the echo is not extra wire time, as
// it comes back while the request is being sent.
template <class Work>
Measurement measure(Session& session, Clock& clock, Work work) {
    const SessionStats before = session.stats();
    const Micros start = clock.now();
    work();
    Measurement m;
    m.took = clock.now() - start;
    m.sent = session.stats().bytesSent - before.bytesSent;
    m.replied = session.stats().bytesReceived - before.bytesReceived - m.sent;
    return m;
}

constexpr std::size_t kEntries = 101;  // 100 logged and the size entry

// Reads the whole datalog as the datalog command and the COM side do: its extent, then all of
// it. Returns whether every byte came.
bool readDatalog(Session& session) {
    Datalog log(session);
    auto extent = log.extent();
    auto bytes = log.readBytes(0, extent ? extent.value() : 0);
    return extent && bytes && bytes->size() == 3 * kEntries;
}

// Counts the upload requests that leave, retries included, from the trace.
struct UploadCounter {
    int uploads = 0;
    bool echo = false;
    void attach(Session& session) {
        session.setTrace([this](const std::string& line) {
            if (echo) std::fprintf(stderr, "%s\n", line.c_str());
            unsigned opcode = 0;
            if (std::sscanf(line.c_str(), "TX 55 FF 00 %x", &opcode) == 1 &&
                baseOpcode(static_cast<std::uint8_t>(opcode)) == op::kUploadDatalog) {
                ++uploads;
            }
        });
    }
};

int commandTable(Session& session, VirtualBrick& brick, Clock& clock, int repeats) {
    brick.fillDatalog(100);
    const char* commands[] = {
        "ping",       "poll 9,1",    "pollb",        "pollp",         "out 2,1",      "dir 2,1",
        "pwr 1,2,5",  "sent 0,1",    "senm 0,1,0",   "setv 0,2,1000", "sumv 0,2,1",   "subv 0,2,1",
        "mulv 0,2,2", "divv 0,2,2",  "andv 0,2,255", "orv 0,2,1",     "absv 0,2,-5",  "sgnv 0,2,-5",
        "view 2,1",   "disp 0,2,42", "setw 12,30",   "plays 3",       "playt 440,50", "prgm 1",
        "start 1",    "stop 1",      "stop",         "tmrz 0",        "senz 0",       "txs 1",
        "tout 15",    "msgs 5",      "polld 1,10",   "polld 1,50",    "logz 100",     "log 9,0",
    };
    std::printf("| command | bytes out | bytes back | wire ms | measured ms | ratio |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    double worst = 0;
    int failures = 0;
    for (const char* text : commands) {
        const Request request = parseCommand(text, CommandForm::Lasm).value();
        Measurement total;
        for (int i = 0; i < repeats; ++i) {
            Measurement m = measure(session, clock, [&] {
                if (!session.execute(request)) ++failures;
            });
            total.sent += m.sent;
            total.replied += m.replied;
            total.took += m.took;
        }
        const double wire = ms(wireTime(total.sent + total.replied)) / repeats;
        const double took = ms(total.took) / repeats;
        worst = std::max(worst, took / wire);
        std::printf("| `%s` | %zu | %zu | %.1f | %.1f | %.3f |\n", text, total.sent / repeats,
                    total.replied / repeats, wire, took, took / wire);
    }

    brick.fillDatalog(100);
    const std::size_t minimum = packetLength(5) + packetLength(1 + 3 * kEntries);
    Measurement total;
    for (int i = 0; i < repeats; ++i) {
        Measurement m = measure(session, clock, [&] {
            if (!readDatalog(session)) ++failures;
        });
        total.sent += m.sent;
        total.replied += m.replied;
        total.took += m.took;
    }
    const double took = ms(total.took) / repeats;
    const double wire = ms(wireTime(minimum));
    std::printf(
        "\n| datalog of 100 entries | bytes on the wire | minimum bytes | minimum wire ms"
        " | measured ms | ratio |\n|---|---:|---:|---:|---:|---:|\n");
    std::printf("| extent + all bytes | %zu | %zu | %.1f | %.1f | %.3f |\n",
                (total.sent + total.replied) / repeats, minimum, wire, took, took / wire);
    worst = std::max(worst, took / wire);
    std::printf("\nworst ratio %.3f, %d failed exchanges\n", worst, failures);
    return failures == 0 && worst <= 1.15 ? 0 : 1;
}

// Each command on an idle brick and then while task 0 spins, in pairs, so that the load of
// the rest of the machine weighs on both alike. The task never waits; the goal is the idle
// brick's ratio.
int spinTable(Session& session, Clock& clock, int repeats) {
    const char* commands[] = {"ping",        "poll 9,1",     "pollb",         "pollp",
                              "out 2,1",     "pwr 1,2,5",    "setv 0,2,1000", "sumv 0,2,1",
                              "disp 0,2,42", "playt 440,50", "tmrz 0",        "polld 1,10",
                              "polld 1,50"};
    const Request start = parseCommand("start 0", CommandForm::Lasm).value();
    const Request stop = parseCommand("stop 0", CommandForm::Lasm).value();
    std::printf("| command | wire ms | idle ms | idle ratio | spinning ms | spinning ratio |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    double worstIdle = 0, worstSpinning = 0;
    int failures = 0;
    for (const char* text : commands) {
        const Request request = parseCommand(text, CommandForm::Lasm).value();
        Measurement idle, spinning;
        for (int i = 0; i < 2 * repeats; ++i) {
            const bool spin = i % 2 == 1;
            if (!session.execute(spin ? start : stop)) ++failures;
            Measurement m = measure(session, clock, [&] {
                if (!session.execute(request)) ++failures;
            });
            Measurement& total = spin ? spinning : idle;
            total.sent += m.sent;
            total.replied += m.replied;
            total.took += m.took;
        }
        const double wire = ms(wireTime(idle.sent + idle.replied)) / repeats;
        const double idleMs = ms(idle.took) / repeats, spinMs = ms(spinning.took) / repeats;
        worstIdle = std::max(worstIdle, idleMs / wire);
        worstSpinning = std::max(worstSpinning, spinMs / wire);
        std::printf("| `%s` | %.1f | %.1f | %.3f | %.1f | %.3f |\n", text, wire, idleMs,
                    idleMs / wire, spinMs, spinMs / wire);
    }
    session.execute(stop);
    std::printf("\nworst ratio idle %.3f, spinning %.3f, %d failed exchanges\n", worstIdle,
                worstSpinning, failures);
    return failures == 0 && worstSpinning <= worstIdle + 0.02 ? 0 : 1;
}

// The brick stops for a moment 700 ms into the upload, in the middle of the first 50-entry
// reply. Each upload may take its unpaused time + the pause + 5%, with no extra request: three
// upload requests each (the extent, then two halves of 50 entries).
int stallTable(Session& session, VirtualBrick& brick, PtyBrickServer& server, Clock& clock,
               int repeats, bool trace) {
    brick.fillDatalog(100);
    UploadCounter counter{0, trace};
    counter.attach(session);
    std::printf(
        "| pause 700 ms into the upload | uploads | upload requests | mean ms | worst ms"
        " | limit ms | within |\n|---|---:|---:|---:|---:|---:|---|\n");
    bool ok = true;
    double unpaused = 0;
    for (int pauseMs : {0, 40, 100, 300}) {
        double sum = 0, worst = 0;
        int failures = 0;
        counter.uploads = 0;
        for (int i = 0; i < repeats; ++i) {
            std::thread pauser;
            if (pauseMs > 0) {
                pauser = std::thread([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(700));
                    server.pause(Micros{pauseMs * 1000});
                });
            }
            const Micros start = clock.now();
            if (!readDatalog(session)) ++failures;
            const double took = ms(clock.now() - start);
            if (pauser.joinable()) pauser.join();
            sum += took;
            worst = std::max(worst, took);
        }
        const double mean = sum / repeats;
        if (pauseMs == 0) unpaused = mean;
        const double limit = (unpaused + pauseMs) * 1.05;
        const bool within = failures == 0 && worst <= limit && counter.uploads == 3 * repeats;
        ok = ok && within;
        std::printf("| %d ms | %d | %d | %.1f | %.1f | %.1f | %s |\n", pauseMs, repeats,
                    counter.uploads, mean, worst, limit, within ? "yes" : "NO");
    }
    session.setTrace({});
    return ok ? 0 : 1;
}

// Uploads on a line that damages a share of the bytes, each with its own repeatable series.
int noiseTable(Session& session, VirtualBrick& brick, Clock& clock, int seriesCount) {
    brick.fillDatalog(100);
    double clean = 0;
    for (int i = 0; i < 3; ++i) {
        const Micros start = clock.now();
        readDatalog(session);
        clean += ms(clock.now() - start) / 3;
    }
    std::printf(
        "clean upload %.1f ms\n\n| damaged bytes | direction | complete | mean ms"
        " | worst ms | worst / clean |\n|---:|---|---:|---:|---:|---:|\n",
        clean);
    const struct {
        const char* name;
        bool in, out;
    } ways[] = {{"brick's replies", false, true}, {"both ways", true, true}};
    for (const auto& way : ways) {
        for (int percent : {1, 2, 5}) {
            int complete = 0;
            double sum = 0, worst = 0;
            for (int series = 1; series <= seriesCount; ++series) {
                brick.restartFaults(static_cast<std::uint32_t>(series));
                brick.setFaults(
                    {.corruptRate = percent / 100.0, .inbound = way.in, .outbound = way.out});
                const Micros start = clock.now();
                if (readDatalog(session)) ++complete;
                const double took = ms(clock.now() - start);
                brick.setFaults({});
                sum += took;
                worst = std::max(worst, took);
            }
            std::printf("| %d%% | %s | %d/%d | %.0f | %.0f | %.1f |\n", percent, way.name, complete,
                        seriesCount, sum / seriesCount, worst, worst / clean);
        }
    }
    return 0;
}

// A 16 KB download to a brick without firmware, over the in-process tower at line pace on a
// manual clock: the time is the line's, with none of this machine's scheduling in it. Each
// fault sequence damages its own series of bytes; the time is compared with a clean line's.
int firmwareTable(int sequences) {
    FirmwareImage image;
    for (std::size_t i = 0; i < 16384; ++i) image.data.push_back((i * 7 + i / 251) & 0xFF);
    auto download = [&](const BrickFaults& faults, std::uint32_t sequence, Micros& took) {
        ManualClock clock;
        VirtualBrick brick(clock, sequence);
        brick.setFirmware(false);
        brick.setFaults(faults);
        MemoryTransport tower(brick, clock, {.echo = true, .paced = true});
        Session session(tower, clock, {.traceFromEnvironment = false});
        auto version = downloadFirmware(session, image);
        took = clock.now();
        return version.ok() && brick.rom().image() == image.data;
    };
    Micros clean{0};
    if (!download({}, 1, clean)) return 1;
    std::printf(
        "clean download %.1f s\n\n| damaged bytes | direction | complete | mean / clean"
        " | worst / clean |\n|---:|---|---:|---:|---:|\n",
        ms(clean) / 1000);
    const struct {
        const char* name;
        bool in, out;
    } ways[] = {{"brick's hearing", true, false}, {"both ways", true, true}};
    bool ok = true;
    for (const auto& way : ways) {
        for (int percent : {1, 2}) {
            int complete = 0;
            double sum = 0, worst = 0;
            for (int sequence = 1; sequence <= sequences; ++sequence) {
                Micros took{0};
                if (download(
                        {.corruptRate = percent / 100.0, .inbound = way.in, .outbound = way.out},
                        static_cast<std::uint32_t>(sequence), took)) {
                    ++complete;
                }
                const double ratio = ms(took) / ms(clean);
                sum += ratio;
                worst = std::max(worst, ratio);
            }
            ok = ok && complete >= (percent == 1 ? sequences : sequences * 9 / 10);
            std::printf("| %d%% | %s | %d/%d | %.2f | %.2f |\n", percent, way.name, complete,
                        sequences, sum / sequences, worst);
        }
    }
    return ok ? 0 : 1;
}

constexpr const char* kUsage =
    "usage: towerlink_bench [N] [--stall | --noise | --firmware | --spin] [--trace]\n"
    "       towerlink_bench --interpreter\n"
    "  N: repeats, or series and fault sequences with --noise and --firmware (1 to 1000)\n";

[[noreturn]] void usage(const std::string& problem) {
    std::fprintf(stderr, "towerlink_bench: %s\n%s", problem.c_str(), kUsage);
    std::exit(2);
}

// A loop of arithmetic, a test and a jump, the common shape of a spinning task:
//   var0 += 1; var1 = var0; var1 &= 7; if (var1 == 0) var2 += 1; goto start
const Bytes kSpin = {0x24, 0x00, 0x02, 0x01, 0x00, 0x14, 0x01, 0x00, 0x00, 0x00, 0x84,
                     0x01, 0x02, 0x07, 0x00, 0x85, 0xC2, 0x00, 0x00, 0x00, 0x01, 0x03,
                     0x27, 0x97, 0x24, 0x02, 0x02, 0x01, 0x00, 0x72, 0x9E, 0x00};

// Instructions per second of the interpreter alone, on a manual clock: the brick's time
// advances as fast as the PC can run its budget.
int interpreterSpeed() {
    ManualClock clock;
    VirtualBrick brick(clock);
    brick.programs().store().put(0, ChunkKind::Task, 0, kSpin);
    brick.interpreter().setBudget(10000);
    brick.interpreter().start(0);
    const auto start = std::chrono::steady_clock::now();
    // In steps the size of a host's visits, each well inside one catch-up's bound.
    for (int step = 0; step < 100; ++step) {
        clock.advance(std::chrono::milliseconds(50));
        brick.runPrograms();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto n = brick.interpreter().instructionsRun();
    std::printf("%llu instructions in %.3f s: %.1f million a second\n",
                static_cast<unsigned long long>(n), seconds, n / seconds / 1e6);
    return n / seconds >= 5e6 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = 0;
    bool stall = false, noise = false, firmware = false, trace = false, spin = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf("%s", kUsage);
            return 0;
        } else if (a == "--interpreter") {
            return interpreterSpeed();
        } else if (a == "--spin") {
            spin = true;
        } else if (a == "--stall") {
            stall = true;
        } else if (a == "--noise") {
            noise = true;
        } else if (a == "--firmware") {
            firmware = true;
        } else if (a == "--trace") {
            trace = true;
        } else if (a.empty() || a[0] < '0' || a[0] > '9') {
            usage("unknown argument " + a);
        } else {
            char* end = nullptr;
            errno = 0;
            const long n = std::strtol(a.c_str(), &end, 10);
            if (*end != '\0' || errno == ERANGE || n < 1 || n > 1000) {
                usage("N is a number from 1 to 1000, not " + a);
            }
            repeats = static_cast<int>(n);
        }
    }
    if (stall + noise + firmware + spin > 1) {
        usage("one of --stall, --noise, --firmware and --spin at a time");
    }
    if (repeats <= 0) repeats = noise || firmware ? 10 : 5;
    if (firmware) return firmwareTable(repeats);
    SystemClock clock;
    VirtualBrick brick(clock);
    if (spin) {
        brick.programs().store().put(0, ChunkKind::Task, 0, kSpin);
        brick.fillDatalog(100);
    }
    auto server = PtyBrickServer::create(brick, {.pace = true});
    if (!server) {
        std::fprintf(stderr, "%s\n", server.error().message.c_str());
        return 1;
    }
    std::thread serving([&] { server.value()->serve(); });
    auto port = PosixSerialTransport::open(server.value()->path());
    if (!port) {
        std::fprintf(stderr, "%s\n", port.error().message.c_str());
        return 1;
    }
    Session session(*port.value(), clock, {.traceFromEnvironment = false});
    if (trace && !stall) {
        session.setTrace([&clock](const std::string& line) {
            std::fprintf(stderr, "%10.1f %s\n", ms(clock.now()), line.c_str());
        });
    }
    session.execute(Request::alive());  // the first exchange of a session pings first

    int rc = 0;
    if (stall) {
        rc = stallTable(session, brick, *server.value(), clock, repeats, trace);
    } else if (noise) {
        rc = noiseTable(session, brick, clock, repeats);
    } else {
        rc = spin ? spinTable(session, clock, repeats)
                  : commandTable(session, brick, clock, repeats);
    }
    server.value()->stop();
    serving.join();
    return rc;
}
