// towerlink: the brick link from the command line. Encodes command texts, sends them to a brick
// through a serial or USB tower (or an in-process virtual brick), reads the datalog, and serves
// a virtual brick on a pseudo-terminal for other programs to talk to.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "CommandParser.h"
#include "Datalog.h"
#include "Hex.h"
#include "LinkStatus.h"
#include "MemoryTransport.h"
#include "PosixSerialTransport.h"
#include "PtyBrickServer.h"
#include "Session.h"
#include "UsbTowerTransport.h"
#include "VirtualBrick.h"

using namespace towerlink;

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  towerlink encode [--mode lasm|script] TEXT\n"
    "  towerlink send --port PORT [--mode lasm|script] [--trace] TEXT\n"
    "  towerlink datalog --port PORT [--trace]\n"
    "  towerlink status --port PORT [--trace]\n"
    "  towerlink virtual --pty [--pace] [--noise PERCENT --sequence N] [--datalog N]\n"
    "PORT is a serial device path, 'usb' (/dev/usb/legousbtower0) or 'virtual'.\n";

struct Options {
    std::string command;
    std::string port;
    CommandForm form = CommandForm::Lasm;
    bool trace = false;
    bool pty = false;
    bool pace = false;
    double noisePercent = 0;
    unsigned faultSequence = 1;
    int datalogEntries = -1;
    std::string text;
};

[[noreturn]] void usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "towerlink: " << problem << "\n";
    std::cerr << kUsage;
    std::exit(2);
}

long number(const std::string& option, const char* value) {
    char* end = nullptr;
    long v = std::strtol(value, &end, 10);
    if (*value == '\0' || *end != '\0' || v < 0) usage(option + " needs a non-negative number");
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
        } else if (a == "--mode") {
            const std::string m = value();
            if (m != "lasm" && m != "script") usage("--mode is lasm or script");
            o.form = m == "lasm" ? CommandForm::Lasm : CommandForm::Script;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--pty") {
            o.pty = true;
        } else if (a == "--pace") {
            o.pace = true;
        } else if (a == "--noise") {
            o.noisePercent = static_cast<double>(number(a, value()));
        } else if (a == "--sequence") {
            o.faultSequence = static_cast<unsigned>(number(a, value()));
        } else if (a == "--datalog") {
            o.datalogEntries = static_cast<int>(number(a, value()));
        } else if (a.rfind("--", 0) == 0) {
            usage("unknown option " + a);
        } else {
            words.push_back(a);
        }
    }
    for (const std::string& w : words) o.text += (o.text.empty() ? "" : " ") + w;
    return o;
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

// The tower behind --port, with the virtual brick it may need.
struct Port {
    std::unique_ptr<VirtualBrick> brick;
    std::unique_ptr<Transport> transport;
};

Port openPort(const std::string& name, Clock& clock) {
    Port p;
    if (name.empty()) usage("--port is required");
    if (name == "virtual") {
        p.brick = std::make_unique<VirtualBrick>(clock);
        p.transport = std::make_unique<MemoryTransport>(*p.brick, clock,
                                                        MemoryTransportOptions{.echo = true});
        return p;
    }
    Result<std::unique_ptr<Transport>, Failure> opened = Failure{LinkError::NoTower, "", 0};
    if (name == "usb") {
        auto usb = UsbTowerTransport::open();
        if (usb)
            opened = std::unique_ptr<Transport>(std::move(usb.value()));
        else
            opened = usb.error();
    } else {
        auto serial = PosixSerialTransport::open(name);
        if (serial)
            opened = std::unique_ptr<Transport>(std::move(serial.value()));
        else
            opened = serial.error();
    }
    if (!opened) {
        std::cerr << "towerlink: " << linkErrorName(opened.error().error) << ": "
                  << opened.error().message << "\n";
        std::exit(1);
    }
    p.transport = std::move(opened.value());
    return p;
}

int fail(const Failure& f) {
    std::cerr << "towerlink: " << linkErrorName(f.error) << ": " << f.message << "\n";
    return 1;
}

void enableTrace(Session& session, bool on) {
    if (on) session.setTrace([](const std::string& line) { std::cerr << line << std::endl; });
}

int send(const Options& o) {
    const Request request = parseOrExit(o);
    SystemClock clock;
    Port port = openPort(o.port, clock);
    Session session(*port.transport, clock);
    enableTrace(session, o.trace);
    ExecuteResult r = session.execute(request);
    if (!r) return fail(r.error());
    std::cout << r->value << "\n" << hexBytes(r->data) << std::endl;
    return 0;
}

int datalog(const Options& o) {
    SystemClock clock;
    Port port = openPort(o.port, clock);
    Session session(*port.transport, clock);
    enableTrace(session, o.trace);
    Datalog log(session);
    auto extent = log.extent();
    if (!extent) return fail(extent.error());
    auto bytes = log.readBytes(0, extent.value());
    if (!bytes) return fail(bytes.error());
    const Bytes& b = bytes.value();
    for (std::size_t i = 0; i + 2 < b.size(); i += 3) {
        const int value = static_cast<std::int16_t>(b[i + 1] | (b[i + 2] << 8));
        std::cout << i / 3 << " " << hexBytes(std::span(&b[i], 1)) << " " << value << "\n";
    }
    std::cout.flush();
    return 0;
}

int status(const Options& o) {
    SystemClock clock;
    Port port = openPort(o.port, clock);
    Session session(*port.transport, clock);
    enableTrace(session, o.trace);
    const LinkStatus s = probeLinkStatus(session);
    std::cout << linkStatusName(s) << std::endl;
    return s == LinkStatus::Ready ? 0 : 1;
}

PtyBrickServer* gServer = nullptr;

extern "C" void onStopSignal(int) {
    if (gServer != nullptr) gServer->stop();
}

int serveVirtual(const Options& o) {
    if (!o.pty) usage("virtual needs --pty");
    SystemClock clock;
    VirtualBrick brick(clock, o.faultSequence);
    if (o.noisePercent > 0) {
        brick.setFaults({.corruptRate = o.noisePercent / 100.0, .inbound = false});
    }
    if (o.datalogEntries >= 0) brick.fillDatalog(o.datalogEntries);
    auto server = PtyBrickServer::create(brick, {.pace = o.pace});
    if (!server) return fail(server.error());
    gServer = server.value().get();
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::cout << server.value()->path() << std::endl;
    server.value()->serve();
    gServer = nullptr;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
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
    if (o.command == "virtual") return serveVirtual(o);
    usage("unknown command '" + o.command + "'");
}
