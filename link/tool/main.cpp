// towerlink: the brick link from the command line. Encodes command texts, sends them to a brick
// through a serial or USB tower (or an in-process virtual brick), reads the datalog, puts
// firmware back on a brick, lists and downloads programs, and on Linux serves a virtual brick on a
// pseudo-terminal for other programs to talk to.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CommandParser.h"
#include "Datalog.h"
#include "FirmwareDownload.h"
#include "Hex.h"
#include "LinkStatus.h"
#include "ByteOrder.h"
#include "Opcodes.h"
#include "ProgramCommands.h"
#include "ProgramDownload.h"
#include "ProgramStore.h"
#include "ProgressDisplay.h"
#include "RegularFile.h"
#include "SRecord.h"
#include "Session.h"
#include "ToolPort.h"
#include "VirtualBrick.h"

#ifndef _WIN32
#include <csignal>

#include "PtyBrickServer.h"
#include "VirtualConsole.h"
#endif

using namespace towerlink;
using namespace towerlink::tool;

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  towerlink encode [--mode lasm|statement] TEXT\n"
    "  towerlink send --port PORT [--mode lasm|statement] [--trace] TEXT\n"
    "  towerlink datalog --port PORT [--trace]\n"
    "  towerlink status --port PORT [--trace]\n"
    "  towerlink firmware --port PORT [--trace] FILE\n"
    "  towerlink programs --port PORT [--trace]\n"
    "  towerlink download --port PORT [--slot N] [--quiet] [--trace] PROGRAM\n"
#ifdef _WIN32
    "  towerlink port [NAME]\n"
#else
    "  towerlink virtual --pty [--pace] [--noise PERCENT --sequence N] [--datalog N]\n"
    "                    [--noise-way both|in|out] [--pause-on-signal MS] [--no-firmware]\n"
    "                    [--show-programs]\n"
    "                    [--sensor N=RAW]...   (then reads console lines on standard input:\n"
    "                    sensor N RAW, press N, release N, run, show)\n"
#endif
    "  towerlink --help | --version\n"
    "FILE is a firmware file in S-record form (.lgo), such as firm0328.lgo.\n"
    "PROGRAM is a program image compiled by NQC (.rcx); --slot N (1 to 5) selects that\n"
    "program slot first and leaves it selected, otherwise the current slot takes it.\n"
    "--faults LIST sets up the virtual port's brick: notower, badtower, silent, nofirmware,\n"
    "battery=MV, noise=P, noiseway=both|in|out, sequence=N, message=M (comma-separated).\n";

struct Options {
    std::string command;
    std::string port;
    std::optional<std::string> faults;  // the virtual brick's settings
    CommandForm form = CommandForm::Lasm;
    bool trace = false;
    bool pty = false;
    bool pace = false;
    bool firmware = true;
    double noisePercent = 0;
    unsigned faultSequence = 1;
    bool noiseIn = true;   // damage the requests the brick hears
    bool noiseOut = true;  // damage the replies it sends
    long pauseOnSignal = 0;
    int datalogEntries = -1;
    int slot = 0;  // 0: the brick's current program slot
    bool showPrograms = false;
    bool quiet = false;
    std::vector<std::string> consoleLines;  // sensor settings for the virtual brick
    std::string text;
    std::size_t words = 0;  // the words TEXT (or FILE, or NAME) was made of
};

// The largest numbers the options take: a percentage, the brick's own datalog room (the size
// entry included, three bytes each in the shared user memory), a pause of a minute.
constexpr long kMaxDatalogEntries = ProgramStore::kUserMemory / ProgramStore::kBytesPerLogEntry - 1;
constexpr long kMaxPauseMs = 60000;
constexpr long kMaxSequence = 0x7FFFFFFF;

[[noreturn]] void usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "towerlink: " << problem << "\n";
    std::cerr << kUsage << kPortHelp;
    std::exit(2);
}

long number(const std::string& option, const char* value, long most) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(value, &end, 10);
    if (*value == '\0' || *end != '\0' || errno == ERANGE || v < 0 || v > most) {
        usage(option + " needs a number from 0 to " + std::to_string(most));
    }
    return v;
}

Options parseArguments(int argc, char** argv) {
    if (argc < 2) usage("");
    Options o;
    o.command = argv[1];
    std::vector<std::string> words;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) usage(a + " needs a value");
            return argv[++i];
        };
        if (a == "--port") {
            o.port = value();
        } else if (a == "--faults") {
            o.faults = value();
        } else if (a == "--mode") {
            const std::string m = value();
            // "script" is the form's older name in this tool, still taken.
            if (m != "lasm" && m != "statement" && m != "script") {
                usage("--mode is lasm or statement");
            }
            o.form = m == "lasm" ? CommandForm::Lasm : CommandForm::Statement;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--pty") {
            o.pty = true;
        } else if (a == "--pace") {
            o.pace = true;
        } else if (a == "--no-firmware") {
            o.firmware = false;
        } else if (a == "--noise") {
            o.noisePercent = static_cast<double>(number(a, value(), 100));
        } else if (a == "--noise-way") {
            const std::string w = value();
            if (w != "both" && w != "in" && w != "out") usage("--noise-way is both, in or out");
            o.noiseIn = w != "out";
            o.noiseOut = w != "in";
        } else if (a == "--pause-on-signal") {
            o.pauseOnSignal = number(a, value(), kMaxPauseMs);
        } else if (a == "--sequence") {
            o.faultSequence = static_cast<unsigned>(number(a, value(), kMaxSequence));
        } else if (a == "--slot") {
            const long slot = number(a, value(), kMaxSequence);
            if (slot < 1 || slot > 5) usage("--slot is a program slot from 1 to 5");
            o.slot = static_cast<int>(slot);
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--show-programs") {
            o.showPrograms = true;
        } else if (a == "--datalog") {
            o.datalogEntries = static_cast<int>(number(a, value(), kMaxDatalogEntries));
#ifndef _WIN32
        } else if (a == "--sensor") {
            o.consoleLines.push_back(sensorOptionLine(value()));
            if (o.consoleLines.back().empty()) usage("--sensor is N=RAW, e.g. --sensor 1=300");
#endif
        } else if (a.rfind("--", 0) == 0) {
            usage("unknown option " + a);
        } else {
            words.push_back(a);
        }
    }
    for (const std::string& w : words) o.text += (o.text.empty() ? "" : " ") + w;
    o.words = words.size();
    return o;
}

// Refuses words beyond the `most` the command takes, rather than guessing what they meant.
void expectWords(const Options& o, std::size_t most) {
    if (o.words > most) {
        usage(o.command + (most == 0 ? " takes no further words" : " takes one FILE or NAME") +
              ", not '" + o.text + "'");
    }
}

Request parseOrExit(const Options& o) {
    auto request = parseCommand(o.text, o.form);
    if (!request) {
        std::cerr << "towerlink: column " << request.error().column << ": "
                  << request.error().message << "\n";
        std::exit(2);
    }
    return request.value();
}

int fail(const Failure& f) {
    std::cerr << "towerlink: " << linkErrorName(f.error) << ": " << f.message << "\n";
    return 1;
}

// The port behind --port, with tracing switched on if asked for; exits when it cannot be opened.
std::unique_ptr<OpenTower> openOrExit(const Options& o) {
    auto port = openPort({o.port, o.faults, o.firmware});
    if (!port) {
        std::cerr << "towerlink: " << port.error() << "\n";
        std::exit(1);
    }
    if (o.trace) {
        port.value()->session().setTrace(
            [](const std::string& line) { std::cerr << line << std::endl; });
    }
    return std::move(port.value());
}

int send(const Options& o) {
    const Request request = parseOrExit(o);
    auto port = openOrExit(o);
    ExecuteResult r = port->session().execute(request);
    if (!r) return fail(r.error());
    std::cout << r->value << "\n" << hexBytes(r->data) << std::endl;
    return 0;
}

int datalog(const Options& o) {
    expectWords(o, 0);
    auto port = openOrExit(o);
    Datalog log(port->session());
    auto extent = log.extent();
    if (!extent) return fail(extent.error());
    auto bytes = log.readBytes(0, extent.value());
    if (!bytes) return fail(bytes.error());
    const Bytes& b = bytes.value();
    for (std::size_t i = 0; i + 2 < b.size(); i += 3) {
        const int value = readS16(b, i + 1);
        std::cout << i / 3 << " " << hexBytes(std::span(&b[i], 1)) << " " << value << "\n";
    }
    std::cout.flush();
    return 0;
}

int status(const Options& o) {
    expectWords(o, 0);
    auto port = openOrExit(o);
    const LinkStatus s = probeLinkStatus(port->session());
    std::cout << linkStatusName(s) << std::endl;
    return s == LinkStatus::Ready ? 0 : 1;
}

int firmware(const Options& o) {
    if (o.text.empty()) usage("firmware needs the firmware file");
    expectWords(o, 1);
    auto port = openOrExit(o);
    auto content = readRegularFile(o.text, kMaxFirmwareFileBytes);
    if (!content) {
        std::cerr << "towerlink: " << content.error().message << "\n";
        return 2;
    }
    auto image = readSRecords(content.value());
    if (!image) {
        std::cerr << "towerlink: " << o.text << ": " << describe(image.error()) << "\n";
        return 2;
    }
    ProgressDisplay display(std::cerr, standardErrorIsTerminal(), port->session().clock());
    auto version =
        downloadFirmware(port->session(), image.value(),
                         [&](std::size_t done, std::size_t total) { display.update(done, total); });
    display.finish();
    if (!version) {
        fail(version.error().failure);
        if (!version.error().untouched) {
            std::cerr << "towerlink: the brick is left without firmware; run the download again\n";
        }
        return 1;
    }
    std::cout << "firmware " << version->major << "." << version->minor << " runs" << std::endl;
    return 0;
}

int programs(const Options& o) {
    expectWords(o, 0);
    auto port = openOrExit(o);
    ExecuteResult map = port->session().execute(Request{{op::kGetMemoryMap}});
    if (!map) return fail(map.error());
    const std::string listing = describeMemoryMap(map->data);
    if (listing.empty()) {
        std::cerr << "towerlink: the brick's memory map is not readable\n";
        return 1;
    }
    std::cout << listing << std::flush;
    return 0;
}

int download(const Options& o) {
    if (o.text.empty()) usage("download needs the program file");
    expectWords(o, 1);
    auto image = readProgramFile(o.text);
    if (!image) {
        std::cerr << "towerlink: " << image.error() << "\n";
        return 2;
    }
    auto port = openOrExit(o);
    ProgressDisplay display(std::cerr, standardErrorIsTerminal(), port->session().clock());
    auto done =
        downloadProgram(port->session(), image.value(), {.slot = o.slot, .quiet = o.quiet},
                        [&](std::size_t sent, std::size_t total) { display.update(sent, total); });
    display.finish();
    if (!done) return fail(done.error().failure);
    return 0;
}

#ifndef _WIN32
PtyBrickServer* gServer = nullptr;

extern "C" void onStopSignal(int) {
    if (gServer != nullptr) gServer->stop();
}

// SIGUSR1 stalls the brick for --pause-on-signal milliseconds, e.g. in the middle of a reply.
long gPauseMs = 0;

extern "C" void onPauseSignal(int) {
    if (gServer != nullptr) gServer->pause(Micros{gPauseMs * 1000});
}

// What the virtual brick holds when it stops, for tests that compare what other programs put
// there: each stored chunk's code in hex, then what the brick noticed about failed downloads.
void showPrograms(const VirtualBrick& brick, std::ostream& out) {
    const ProgramStore& store = brick.programs().store();
    for (int slot = 0; slot < ProgramStore::kSlots; ++slot) {
        for (ChunkKind kind : {ChunkKind::Task, ChunkKind::Subroutine}) {
            const int count =
                kind == ChunkKind::Task ? ProgramStore::kTasks : ProgramStore::kSubroutines;
            for (int n = 0; n < count; ++n) {
                if (!store.has(slot, kind, n)) continue;
                out << "program " << slot + 1 << (kind == ChunkKind::Task ? " task " : " sub ") << n
                    << ": " << hexBytes(store.chunk(slot, kind, n)) << "\n";
            }
        }
    }
    for (const std::string& line : brick.programs().diagnostics()) out << "brick: " << line << "\n";
    out.flush();
}

int serveVirtual(const Options& o) {
    if (!o.pty) usage("virtual needs --pty");
    expectWords(o, 0);
    SystemClock clock;
    VirtualBrick brick(clock, o.faultSequence);
    brick.setFirmware(o.firmware);
    if (o.noisePercent > 0) {
        brick.setFaults(
            {.corruptRate = o.noisePercent / 100.0, .inbound = o.noiseIn, .outbound = o.noiseOut});
    }
    if (o.datalogEntries >= 0) brick.fillDatalog(o.datalogEntries);
    auto server = PtyBrickServer::create(brick, {.pace = o.pace});
    if (!server) return fail(server.error());
    gServer = server.value().get();
    if (!attachConsole(brick, *server.value(), o.consoleLines)) return 2;
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    if (o.pauseOnSignal > 0) {
        gPauseMs = o.pauseOnSignal;
        struct sigaction pauseAction {};
        pauseAction.sa_handler = onPauseSignal;
        pauseAction.sa_flags = SA_RESTART;
        sigaction(SIGUSR1, &pauseAction, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::cout << server.value()->path() << std::endl;
    server.value()->serve();
    gServer = nullptr;
    if (o.showPrograms) showPrograms(brick, std::cout);
    return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) {
        const std::string only = argv[1];
        if (only == "--help" || only == "-h") {
            std::cout << kUsage << kPortHelp;
            return 0;
        }
        if (only == "--version") {
            std::cout << "towerlink " TOWERLINK_VERSION << std::endl;
            return 0;
        }
    }
    const Options o = parseArguments(argc, argv);
    if (o.command == "encode") {
        if (!o.port.empty() || o.trace) usage("encode sends nothing: no --port or --trace");
        Request r = parseOrExit(o);
        std::cout << hexBytes(encodePacket(r.payload)) << std::endl;
        return 0;
    }
    if (o.command == "send") return send(o);
    if (o.command == "datalog") return datalog(o);
    if (o.command == "status") return status(o);
    if (o.command == "firmware") return firmware(o);
    if (o.command == "programs") return programs(o);
    if (o.command == "download") return download(o);
#ifdef _WIN32
    if (o.command == "port") {
        expectWords(o, 1);
        return portCommand(o.text);
    }
#else
    if (o.command == "virtual") return serveVirtual(o);
#endif
    usage("unknown command '" + o.command + "'");
}
