// Console lines for the virtual brick.
#include "BrickConsole.h"

#include <charconv>
#include <sstream>
#include <vector>

#include "VirtualBrick.h"

namespace towerlink {
namespace {

// A touch sensor's raw reading when pressed and when released.
constexpr int kPressedRaw = 0, kReleasedRaw = 1023;

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

// A whole decimal number within [low, high], or nothing.
bool number(std::string_view word, int low, int high, int& out) {
    int v = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
    if (ec != std::errc{} || end != word.data() + word.size() || v < low || v > high) return false;
    out = v;
    return true;
}

const char* modeName(MotorMode m) {
    return m == MotorMode::On ? "on" : m == MotorMode::Off ? "off" : "float";
}

}  // namespace

Result<std::string, ConsoleError> BrickConsole::execute(std::string_view line) {
    const std::vector<std::string_view> w = words(line);
    if (w.empty()) return std::string();
    const std::string_view command = w[0];
    auto refuse = [&](const std::string& why) {
        return ConsoleError{std::string(command) + ": " + why};
    };
    int sensor = 0;
    if (command == "sensor" || command == "press" || command == "release") {
        const std::size_t expected = command == "sensor" ? 3 : 2;
        if (w.size() != expected) {
            return refuse(command == "sensor" ? "needs a sensor (1-3) and a raw value (0-1023)"
                                              : "needs a sensor (1-3)");
        }
        if (!number(w[1], 1, 3, sensor)) return refuse("the sensor is 1, 2 or 3");
        int raw = command == "press" ? kPressedRaw : kReleasedRaw;
        if (command == "sensor" && !number(w[2], 0, 1023, raw)) {
            return refuse("the raw value is 0 to 1023");
        }
        brick_.setSensorRaw(sensor - 1, raw);
        return std::string();
    }
    if (w.size() != 1 || (command != "run" && command != "show")) {
        if (command == "run" || command == "show") return refuse("takes nothing after it");
        return ConsoleError{"unknown command '" + std::string(command) + "'; the commands are " +
                            kHelp};
    }
    if (command == "run") {
        brick_.runPrograms();
        brick_.interpreter().start(0);
        return std::string();
    }
    brick_.runPrograms();
    return show();
}

std::string BrickConsole::show() const {
    const BrickState& s = brick_.state();
    const Interpreter& in = brick_.interpreter();
    std::ostringstream out;
    out << "program " << s.program + 1 << ", tasks:";
    bool any = false;
    for (int t = 0; t < Interpreter::kTasks; ++t) {
        const Task& task = in.task(t);
        if (!task.running) continue;
        any = true;
        out << " " << t << "@";
        if (task.subroutine >= 0) out << "sub" << task.subroutine << ":";
        out << task.pc;
    }
    if (!any) out << " none";
    out << "\nvariables:";
    any = false;
    for (std::size_t v = 0; v < s.variables.size(); ++v) {
        if (s.variables[v] == 0) continue;
        any = true;
        out << " " << v << "=" << s.variables[v];
    }
    if (!any) out << " all 0";
    out << "\nmotors:";
    const char names[] = "ABC";
    for (std::size_t m = 0; m < 3; ++m) {
        const MotorState& motor = s.motors[m];
        out << " " << names[m] << " " << modeName(motor.mode) << " "
            << (motor.forward ? "fwd" : "rev") << " " << motor.power;
    }
    out << "\ndisplay: ";
    if (s.displayDevice == 7) {
        out << brick_.value(s.userSource, s.userArgument) << " (user value)";
    } else if (s.displayDevice == 0) {
        out << "watch";
    } else if (s.displayDevice <= 3) {
        out << "sensor " << s.displayDevice;
    } else {
        out << "motor " << names[s.displayDevice - 4];
    }
    out << "\n";
    return out.str();
}

}  // namespace towerlink
