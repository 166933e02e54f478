// A simulated RCX brick that answers the framed protocol as the real one does: it takes the
// bytes that reach its infrared receiver and returns the bytes it transmits. Time comes from an
// injected clock, faults from a generator started at a given number, so every run is repeatable.
// Tests read and set its state directly.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "Clock.h"
#include "Interpreter.h"
#include "Packet.h"
#include "ProgramReceiver.h"
#include "RequestDecoder.h"
#include "VirtualRom.h"

namespace towerlink {

enum class MotorMode { Float, Off, On };

struct MotorState {
    MotorMode mode = MotorMode::Float;
    bool forward = true;
    int power = 7;
};

struct SensorState {
    int type = 0;
    int modeByte = 0;  // (mode << 5) | slope
    int raw = 1023;
    bool boolean = false;
    int transitions = 0;
    int angle = 0;  // rotation sensor count, 1/16 turn
};

struct DatalogEntry {
    std::uint8_t type = 0;
    std::int16_t value = 0;
};

struct Tone {
    int frequency = 0;
    int duration = 0;
    bool operator==(const Tone&) const = default;
};

// Everything a test may want to look at, in the brick's own terms.
struct BrickState {
    bool firmware = true;
    bool poweredOn = true;
    std::array<MotorState, 3> motors{};
    std::array<SensorState, 3> sensors{};
    std::array<std::int16_t, 32> variables{};
    std::array<Micros, 4> timerStart{};
    int watchMinutes = 0;  // minutes past midnight when the watch was last set
    Micros watchSetAt{0};
    int program = 0;
    int displayDevice = 0;  // 0 watch, 1..3 sensors, 4..6 motors, 7 user display
    int userPrecision = 0;
    int userSource = 0;
    int userArgument = 0;
    std::vector<int> sounds;
    std::vector<Tone> tones;
    int batteryMillivolts = 9300;
    int range = 0;
    int powerDownDelay = 15;
    int datalogCapacity = 0;            // entries including the size entry; 0 = no datalog
    std::vector<DatalogEntry> datalog;  // logged entries, entry 0 excluded
    std::uint8_t message = 0;
    std::uint16_t runningTasks = 0;  // bit per task
    int executed = 0;                // requests carried out
    int repeatsAnswered = 0;         // retransmissions answered with the previous reply
};

// Faults the brick injects into what it hears and what it sends.
struct BrickFaults {
    bool silent = false;       // hears nothing
    double corruptRate = 0.0;  // share of bytes altered
    double dropRate = 0.0;     // share of bytes lost
    bool inbound = true;       // damage what the brick hears
    bool outbound = true;      // damage what the brick sends
    Micros replyDelay{0};      // extra time before a reply starts
};

class VirtualBrick {
public:
    // `faultSequence` picks the repeatable series of faults (and random values) it produces.
    explicit VirtualBrick(Clock& clock, std::uint32_t faultSequence = 1);

    // Feeds what reached the receiver; returns what the brick transmits in answer (nothing
    // until a whole request has arrived).
    Bytes receive(std::span<const std::uint8_t> bytes);

    void setFaults(const BrickFaults& faults) { faults_ = faults; }
    const BrickFaults& faults() const { return faults_; }
    void restartFaults(std::uint32_t faultSequence) { rng_ = std::mt19937(faultSequence); }

    const BrickState& state() const { return state_; }

    void setFirmware(bool present) { state_.firmware = present; }
    // The ROM that takes firmware downloads, for tests to look at.
    const VirtualRom& rom() const { return rom_; }
    // The programs it keeps, and its side of program download.
    const ProgramReceiver& programs() const { return programs_; }
    ProgramReceiver& programs() { return programs_; }
    void setBatteryMillivolts(int mv) { state_.batteryMillivolts = mv; }
    void setTimerTick(Micros tick) { timerTick_ = tick; }
    // Moves a sensor's raw reading, as the hardware would, updating its boolean and counts.
    void setSensorRaw(int sensor, int raw);
    void rotateSensor(int sensor, int ticks) { state_.sensors.at(sensor).angle += ticks; }
    // Fills the datalog with `entries` logged values (after sizing it to fit).
    void fillDatalog(int entries);

    // What Get value answers for (source, argument) right now.
    std::int16_t value(int source, int argument);

    // The programs' interpreter, and the chance to run them up to the clock's now; the brick
    // takes it before each request, its hosts whenever they let time pass.
    Interpreter& interpreter() { return interpreter_; }
    const Interpreter& interpreter() const { return interpreter_; }
    void runPrograms() { interpreter_.runUntil(clock_.now()); }

    // The packet a brick sends to broadcast a message byte (no reply expected).
    static Bytes messagePacket(std::uint8_t message);

private:
    friend class Interpreter;  // programs act on the brick as its direct commands do

    // The brick's time: the interpreter's while a program runs, the clock's otherwise.
    Micros brickNow() { return interpreter_.inSlot() ? interpreter_.time() : clock_.now(); }
    Bytes handle(const Bytes& payload);
    std::optional<Bytes> execute(std::uint8_t opcode, std::span<const std::uint8_t> p);
    void setVariable(std::uint8_t opcode, int var, int operand);
    int sensorValue(int sensor) const;
    Bytes applyLineFaults(std::span<const std::uint8_t> bytes);
    bool chance(double rate);

    Clock& clock_;
    std::mt19937 rng_;
    BrickFaults faults_;
    BrickState state_;
    RequestDecoder decoder_;
    Micros timerTick_{100000};
    std::optional<std::uint8_t> lastOpcode_;
    Bytes lastReply_;
    VirtualRom rom_;
    ProgramReceiver programs_;
    Interpreter interpreter_;
};

}  // namespace towerlink
