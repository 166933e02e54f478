// Runs the programs stored in the virtual brick: the tasks of the current program slot take
// turns, one instruction each, in task-number order. Instructions take no brick time; the brick
// runs at most `budget` instructions per millisecond of its clock, so a task that spins costs the
// host a bounded share of its processor and the results depend only on the clock, never on the
// speed of the PC. Waits and the sound queue run on the same clock, so under a manual clock a
// program that waits a minute finishes in no real time.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Bytecode.h"
#include "Clock.h"
#include "Task.h"

namespace towerlink {

class VirtualBrick;

class Interpreter {
public:
    static constexpr int kTasks = 10;
    static constexpr int kDefaultBudget = 100;  // instructions per millisecond of brick time
    static constexpr int kSoundQueue = 8;
    static constexpr Micros kSlot{1000};
    // Most instructions one catch-up runs (about 10 s of a spinning task): a host that leaves
    // the brick alone longer than that (Windows' VIRTUAL port between calls) finds the rest of
    // the time skipped rather than its next reply held up.
    static constexpr std::uint64_t kMaxCatchUp = 1'000'000;

    Interpreter(VirtualBrick& brick, Micros start);

    // Starts a task of the current program, from its beginning if it runs already; a task
    // with no code stays stopped.
    void start(int task);
    void stop(int task);
    void stopAll();

    // Runs the tasks up to `now` on the brick's clock.
    void runUntil(Micros now);
    bool anyRunning() const { return runningMask_ != 0; }
    // The brick time the interpreter has reached; while it runs, what timers are read against.
    Micros time() const { return time_; }
    bool inSlot() const { return inSlot_; }

    const Task& task(int n) const { return tasks_.at(static_cast<std::size_t>(n)); }
    std::uint64_t instructionsRun() const { return instructions_; }
    void setBudget(int instructionsPerMillisecond) { budget_ = instructionsPerMillisecond; }

    // Why tasks stopped on their own fault, newest last; each is also given to the sink.
    const std::vector<std::string>& diagnostics() const { return diagnostics_; }
    void setDiagnosticSink(std::function<void(const std::string&)> sink) {
        sink_ = std::move(sink);
    }

    // A source's value as task `t` sees it (its own locals); nullopt for an undefined source.
    std::optional<std::int16_t> read(int t, int source, int argument);

private:
    enum class Turn { Goes, Yields };

    Turn step(int t);
    void runSlot();
    void fault(int t, int at, const std::string& why);
    void finish(int t);
    std::int16_t* variable(int t, int index);
    // The variable, or nothing after stopping the task that named one that does not exist.
    std::int16_t* variableOrStop(int t, int at, int index);
    bool write(int t, int source, int argument, std::int16_t value);
    bool branch(int t, int at, int target, std::size_t length);
    bool queueSound(Micros duration);
    std::span<const std::uint8_t> code(const Task& task, int t) const;

    VirtualBrick& brick_;
    std::array<Task, kTasks> tasks_{};
    std::uint16_t runningMask_ = 0;
    std::uint16_t yielded_ = 0;  // tasks that gave up the rest of this slot
    Micros time_;
    bool inSlot_ = false;
    int budget_ = kDefaultBudget;
    std::uint64_t instructions_ = 0;
    std::deque<Micros> soundEnds_;
    bool muted_ = false;
    std::array<std::int16_t, 3> counters_{};
    std::array<std::uint8_t, 3> globalOutputs_{0x87, 0x87, 0x87};  // on, forward, power 7
    std::map<int, std::int16_t> parameters_;  // event and UART settings, stored as written
    std::vector<std::string> diagnostics_;
    std::function<void(const std::string&)> sink_;
};

}  // namespace towerlink
