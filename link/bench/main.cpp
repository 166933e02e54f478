// towerlink_bench: how close the link comes to the line's own speed. Runs each kind of command,
// and a 100-entry datalog upload, against the virtual brick on a pseudo-terminal that paces its
// output at 2400 baud 8O1, and compares the time taken with the time the packet bytes need on
// the wire (11 bits a byte). Prints a Markdown table.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "CommandParser.h"
#include "Datalog.h"
#include "PosixSerialTransport.h"
#include "PtyBrickServer.h"
#include "Session.h"

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

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 5;
    SystemClock clock;
    VirtualBrick brick(clock);
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
    Session session(*port.value(), clock);
    session.execute(Request::alive());  // the first exchange of a session pings first
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

    // The datalog: its extent, then all of it, as the datalog command and the COM side read it.
    brick.fillDatalog(100);
    const std::size_t entries = 101;
    const std::size_t minimum = packetLength(5) + packetLength(1 + 3 * entries);
    Measurement total;
    for (int i = 0; i < repeats; ++i) {
        Datalog log(session);
        Measurement m = measure(session, clock, [&] {
            auto extent = log.extent();
            auto bytes = log.readBytes(0, extent ? extent.value() : 0);
            if (!extent || !bytes || bytes->size() != 3 * entries) ++failures;
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

    server.value()->stop();
    serving.join();
    return failures == 0 && worst <= 1.15 ? 0 : 1;
}
