// The virtual brick's bytecode interpreter and task scheduler.
#include "Interpreter.h"

#include <algorithm>
#include <bit>
#include <sstream>

#include "ByteOrder.h"
#include "Opcodes.h"
#include "VirtualBrick.h"

namespace towerlink {
namespace {

namespace bc = bytecode;

std::int16_t wrap16(long v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}

// Branch offsets count from the offset field's own address.
int signMagnitude8(int at, std::uint8_t b) {
    return b & 0x80 ? at - (b & 0x7F) : at + (b & 0x7F);
}
int signMagnitude15(int at, std::uint8_t b0, std::uint8_t b1) {
    const int magnitude = (b0 & 0x7F) + 128 * b1;
    return b0 & 0x80 ? at - magnitude : at + magnitude;
}

bool compare(int relation, int a, int b) {
    switch (relation) {
        case 0: return a <= b;
        case 1: return a >= b;
        case 2: return a != b;
        default: return a == b;
    }
}

constexpr const char* kNotModelled = "events, monitors, access control and the UART";

// Sounds without a documented length play for this long.
constexpr Micros kSystemSound{300000};

}  // namespace

Interpreter::Interpreter(VirtualBrick& brick, Micros start) : brick_(brick), time_(start) {}

std::span<const std::uint8_t> Interpreter::code(const Task& task, int t) const {
    const int slot = brick_.state_.program;
    return task.subroutine < 0
               ? brick_.programs_.store().chunk(slot, ChunkKind::Task, t)
               : brick_.programs_.store().chunk(slot, ChunkKind::Subroutine, task.subroutine);
}

void Interpreter::start(int t) {
    if (t < 0 || t >= kTasks) return;
    if (!brick_.programs_.store().has(brick_.state_.program, ChunkKind::Task, t)) return;
    Task& task = tasks_[static_cast<std::size_t>(t)];
    task.running = true;
    task.subroutine = -1;
    task.pc = 0;
    task.loopDepth = 0;
    task.wakeAt = time_;
    runningMask_ = static_cast<std::uint16_t>(runningMask_ | (1 << t));
    brick_.state_.runningTasks = runningMask_;
}

void Interpreter::finish(int t) {
    tasks_[static_cast<std::size_t>(t)].running = false;
    runningMask_ = static_cast<std::uint16_t>(runningMask_ & ~(1 << t));
    brick_.state_.runningTasks = runningMask_;
}

void Interpreter::stop(int t) {
    if (t >= 0 && t < kTasks) finish(t);
}

void Interpreter::stopAll() {
    for (int t = 0; t < kTasks; ++t) finish(t);
}

void Interpreter::fault(int t, int at, const std::string& why) {
    std::ostringstream text;
    text << "program " << brick_.state_.program + 1 << " task " << t;
    const Task& task = tasks_[static_cast<std::size_t>(t)];
    if (task.subroutine >= 0) text << " in subroutine " << task.subroutine;
    text << " stopped at address " << at << ": " << why;
    diagnostics_.push_back(text.str());
    if (sink_) sink_(diagnostics_.back());
    finish(t);
}

void Interpreter::runUntil(Micros now) {
    const std::uint64_t before = instructions_;
    while (anyRunning() && time_ <= now) {
        if (instructions_ - before >= kMaxCatchUp) {
            time_ = now;
            break;
        }
        runSlot();
        time_ += kSlot;
        // When every task waits, the clock moves straight to the first wake-up.
        Micros wake = Micros::max();
        for (int t = 0; t < kTasks; ++t) {
            const Task& task = tasks_[static_cast<std::size_t>(t)];
            if (task.running) wake = std::min(wake, task.wakeAt);
        }
        // Not beyond now, though: a task started meanwhile must not wait for the others.
        const Micros target = std::min(wake, now + kSlot);
        if (wake != Micros::max() && target > time_) {
            // Whole slots only, so the schedule does not depend on when the host looks.
            const auto slots = (target - time_ + kSlot - Micros{1}) / kSlot;
            time_ += kSlot * slots;
        }
    }
    if (!anyRunning()) time_ = std::max(time_, now);
}

void Interpreter::runSlot() {
    inSlot_ = true;
    yielded_ = 0;
    int left = budget_;
    for (bool ran = true; left > 0 && ran;) {
        ran = false;
        // One round: each running task in number order, as the mask stood when it began.
        for (unsigned ready = runningMask_ & ~yielded_; ready != 0 && left > 0;
             ready &= ready - 1) {
            const int t = std::countr_zero(ready);
            const Task& task = tasks_[static_cast<std::size_t>(t)];
            if (!task.running || task.wakeAt > time_) continue;
            ran = true;
            --left;
            ++instructions_;
            if (step(t) == Turn::Yields) yielded_ = static_cast<std::uint16_t>(yielded_ | 1 << t);
        }
    }
    inSlot_ = false;
}

std::int16_t* Interpreter::variable(int t, int index) {
    if (index >= 0 && index < 32) return &brick_.state_.variables[static_cast<std::size_t>(index)];
    if (index >= 32 && index < 32 + Task::kLocals)
        return &tasks_[static_cast<std::size_t>(t)].locals[static_cast<std::size_t>(index - 32)];
    return nullptr;
}

std::int16_t* Interpreter::variableOrStop(int t, int at, int index) {
    std::int16_t* v = variable(t, index);
    if (v == nullptr) fault(t, at, "variable " + std::to_string(index) + " does not exist");
    return v;
}

std::optional<std::int16_t> Interpreter::read(int t, int source, int argument) {
    BrickState& s = brick_.state_;
    auto within = [&](int count) { return argument >= 0 && argument < count; };
    switch (source) {
        case 0: {
            const std::int16_t* v = variable(t, argument);
            if (v == nullptr) return std::nullopt;
            return *v;
        }
        case 1:
            if (!within(4)) return std::nullopt;
            return brick_.value(source, argument);
        case 2: return wrap16(argument);
        case 3:
            if (!within(3)) return std::nullopt;
            return brick_.value(source, argument);
        case 4:
        case 8:
        case 14:
        case 15: return brick_.value(source, argument);
        case 9:
        case 10:
        case 11:
        case 12:
        case 13:
            if (!within(3)) return std::nullopt;
            return brick_.value(source, argument);
        case 17:
            if (!within(3)) return std::nullopt;
            return globalOutputs_[static_cast<std::size_t>(argument)];
        case 21:
            if (!within(3)) return std::nullopt;
            return counters_[static_cast<std::size_t>(argument)];
        case 23:  // no events are defined, so none are active
        case 25: return 0;
        case 26:
            if (!within(4)) return std::nullopt;
            return static_cast<std::int16_t>(
                ((time_ - s.timerStart[static_cast<std::size_t>(argument)]) / Micros{10000}) &
                0x7FFF);
        case 27:
        case 28:
        case 29:
        case 30:
        case 31:
        case 33: {
            auto found = parameters_.find(source << 8 | (argument & 0xFF));
            return found == parameters_.end() ? 0 : found->second;
        }
        case 34: return static_cast<std::int16_t>(s.batteryMillivolts);
        case 35: return 0x0328;
        case 36: {
            const std::int16_t* index = variable(t, argument);
            if (index == nullptr) return std::nullopt;
            return read(t, 0, *index);
        }
        case 37:
        case 38:
        case 39:
        case 40:
        case 41:
        case 42: {
            // Odd sources take the entry number from a variable, even ones directly.
            int index = argument;
            if (source % 2 == 1) {
                const std::int16_t* v = variable(t, argument);
                if (v == nullptr) return std::nullopt;
                index = *v;
            }
            const int entries = s.datalogCapacity == 0 ? 0 : 1 + static_cast<int>(s.datalog.size());
            const int kind = (source - 37) / 2;  // 0 type, 1 value, 2 byte
            const int entry = kind == 2 ? index / 3 : index;
            if (entry < 0 || entry >= entries) return 0;
            const DatalogEntry e = entry == 0
                                       ? DatalogEntry{0xFF, static_cast<std::int16_t>(entries)}
                                       : s.datalog[static_cast<std::size_t>(entry - 1)];
            if (kind == 0) return e.type;
            if (kind == 1) return e.value;
            const int byte = index % 3;
            const auto u = static_cast<std::uint16_t>(e.value);
            return static_cast<std::int16_t>(byte == 0 ? e.type : byte == 1 ? u & 0xFF : u >> 8);
        }
        default: return std::nullopt;
    }
}

// What `set` may change; the sources it may not (sensor readings, motor states and the like)
// stay as they are. Returns false for a source that does not exist.
bool Interpreter::write(int t, int source, int argument, std::int16_t value) {
    BrickState& s = brick_.state_;
    auto within = [&](int count) { return argument >= 0 && argument < count; };
    const auto lo = static_cast<std::uint8_t>(value & 0xFF);
    switch (source) {
        case 0: {
            std::int16_t* v = variable(t, argument);
            if (v == nullptr) return false;
            *v = value;
            return true;
        }
        case 1:
        case 26:
            if (!within(4)) return false;
            s.timerStart[static_cast<std::size_t>(argument)] =
                time_ - (source == 1 ? brick_.timerTick_ : Micros{10000}) * value;
            return true;
        case 4:  // starts the random sequence afresh
            brick_.restartFaults(static_cast<std::uint16_t>(value));
            return true;
        case 8:
            if (value >= 0 && value <= 4) {
                s.program = value;
                stopAll();
            }
            return true;
        case 10:
        case 11: {
            if (!within(3)) return false;
            const std::uint8_t p[] = {static_cast<std::uint8_t>(argument), lo};
            brick_.execute(source == 10 ? op::kSetSensorType : op::kSetSensorMode, p);
            return true;
        }
        case 14:
            if (value >= 0 && value < 1440) {
                s.watchMinutes = value;
                s.watchSetAt = time_;
            }
            return true;
        case 15: s.message = lo; return true;
        case 21:
            if (!within(3)) return false;
            counters_[static_cast<std::size_t>(argument)] = value;
            return true;
        case 27:
        case 28:
        case 29:
        case 30:
        case 31:
        case 33: parameters_[source << 8 | (argument & 0xFF)] = value; return true;
        case 36: {
            const std::int16_t* index = variable(t, argument);
            return index != nullptr && write(t, 0, *index, value);
        }
        case 3:
        case 9:
        case 12:
        case 13:
        case 17:
        case 23:
        case 25:
        case 34:
        case 35:
        case 37:
        case 38:
        case 39:
        case 40:
        case 41:
        case 42: return true;  // read-only: nothing changes
        default: return false;
    }
}

bool Interpreter::branch(int t, int at, int target, std::size_t length) {
    if (target < 0 || target > static_cast<int>(length)) {
        fault(t, at,
              "branch to " + std::to_string(target) + " leaves the chunk of " +
                  std::to_string(length) + " bytes");
        return false;
    }
    tasks_[static_cast<std::size_t>(t)].pc = target;
    return true;
}

bool Interpreter::queueSound(Micros duration) {
    while (!soundEnds_.empty() && soundEnds_.front() <= time_) soundEnds_.pop_front();
    if (static_cast<int>(soundEnds_.size()) >= kSoundQueue) return false;
    const Micros begin = soundEnds_.empty() ? time_ : std::max(time_, soundEnds_.back());
    soundEnds_.push_back(begin + duration);
    return true;
}

Interpreter::Turn Interpreter::step(int t) {
    Task& task = tasks_[static_cast<std::size_t>(t)];
    const std::span<const std::uint8_t> c = code(task, t);
    const int at = task.pc;
    if (at >= static_cast<int>(c.size())) {
        // Running off the end returns from a subroutine and ends a task.
        if (task.subroutine >= 0) {
            task.subroutine = -1;
            task.pc = task.returnPc;
        } else {
            finish(t);
        }
        return Turn::Goes;
    }
    const bc::Instruction* in = bc::decode(c[static_cast<std::size_t>(at)]);
    if (in == nullptr) {
        std::ostringstream why;
        why << "illegal opcode 0x" << std::hex << int(c[static_cast<std::size_t>(at)]);
        fault(t, at, why.str());
        return Turn::Goes;
    }
    if (in->support == bc::Support::NotModelled) {
        const std::string name = in->name;
        fault(t, at, "opcode " + name + " is not run by the virtual brick (" + kNotModelled + ")");
        return Turn::Goes;
    }
    if (at + in->length > static_cast<int>(c.size())) {
        fault(t, at, std::string(in->name) + " is cut off by the end of the chunk");
        return Turn::Goes;
    }
    const std::uint8_t* p = c.data() + at + 1;  // the parameters
    std::span<const std::uint8_t> params(p, in->length - 1u);
    task.pc = at + in->length;
    BrickState& s = brick_.state_;

    // A source's value, or a fault for an undefined one.
    auto valueOf = [&](int source, int argument) -> std::optional<std::int16_t> {
        std::optional<std::int16_t> v = read(t, source, argument);
        if (!v) {
            fault(t, at,
                  "source " + std::to_string(source) + " argument " + std::to_string(argument) +
                      " does not exist");
        }
        return v;
    };

    switch (in->opcode) {
        case bc::kSetVariable:
        case bc::kAddVariable:
        case bc::kSubVariable:
        case bc::kDivVariable:
        case bc::kMulVariable:
        case bc::kSgnVariable:
        case bc::kAbsVariable:
        case bc::kAndVariable:
        case bc::kOrVariable: {
            std::int16_t* v = variableOrStop(t, at, p[0]);
            if (v == nullptr) break;
            const auto operand = valueOf(p[1], readS16(params, 2));
            if (!operand) break;
            const long x = *operand;
            switch (in->opcode) {
                case bc::kSetVariable: *v = *operand; break;
                case bc::kAddVariable: *v = wrap16(*v + x); break;
                case bc::kSubVariable: *v = wrap16(*v - x); break;
                case bc::kMulVariable: *v = wrap16(*v * x); break;
                case bc::kDivVariable:
                    if (x != 0) *v = wrap16(*v / x);  // division by zero leaves it alone
                    break;
                case bc::kSgnVariable: *v = static_cast<std::int16_t>((x > 0) - (x < 0)); break;
                case bc::kAbsVariable: *v = x == -32768 ? 32767 : wrap16(x < 0 ? -x : x); break;
                case bc::kAndVariable: *v = wrap16(*v & x); break;
                default: *v = wrap16(*v | x); break;
            }
            break;
        }
        case bc::kSet: {
            const auto v = valueOf(p[2], readS16(params, 3));
            if (v && !write(t, p[0], p[1], *v)) {
                fault(t, at,
                      "source " + std::to_string(p[0]) + " argument " + std::to_string(p[1]) +
                          " does not exist");
            }
            break;
        }
        case bc::kSetPower:
        case bc::kGlobalPower: {
            const auto v = valueOf(p[1], p[2]);
            if (!v || *v < 0 || *v > 7) break;
            if (in->opcode == bc::kSetPower) {
                const std::uint8_t direct[] = {p[0], 2, static_cast<std::uint8_t>(*v)};
                brick_.execute(op::kSetPower, direct);
                break;
            }
            for (std::size_t m = 0; m < 3; ++m) {
                if (p[0] & (1 << m))
                    globalOutputs_[m] = static_cast<std::uint8_t>((globalOutputs_[m] & 0xF8) | *v);
            }
            break;
        }
        case bc::kGlobalOnOff:
        case bc::kGlobalDirection:
            for (std::size_t m = 0; m < 3; ++m) {
                if (!(p[0] & (1 << m))) continue;
                std::uint8_t& g = globalOutputs_[m];
                if (in->opcode == bc::kGlobalOnOff) {
                    g = static_cast<std::uint8_t>((g & 0x3F) | (p[0] & 0x80   ? 0x80
                                                                : p[0] & 0x40 ? 0x40
                                                                              : 0));
                } else if (p[0] & 0x40) {
                    g ^= 0x08;
                } else {
                    g = static_cast<std::uint8_t>(p[0] & 0x80 ? g & ~0x08 : g | 0x08);
                }
            }
            break;
        case bc::kPlaySound:
        case bc::kPlayTone:
        case bc::kPlayVariableTone: {
            if (muted_) break;
            const Micros length = in->opcode == bc::kPlaySound  ? kSystemSound
                                  : in->opcode == bc::kPlayTone ? Micros{10000} * p[2]
                                                                : Micros{10000} * p[1];
            if (in->opcode == bc::kPlaySound && p[0] > 5) break;
            if (!queueSound(length)) {
                task.pc = at;  // a full queue holds the task until a sound ends
                return Turn::Yields;
            }
            if (in->opcode == bc::kPlayVariableTone) {
                const std::int16_t* f = variableOrStop(t, at, p[0]);
                if (f == nullptr) break;
                s.tones.push_back({*f, p[1]});
            } else {
                brick_.execute(in->opcode == bc::kPlaySound ? op::kPlaySound : op::kPlayTone,
                               params);
            }
            break;
        }
        case bc::kClearSound: soundEnds_.clear(); break;
        case bc::kMute: muted_ = true; break;
        case bc::kUnmute: muted_ = false; break;
        case bc::kWait: {
            const auto v = valueOf(p[0], readS16(params, 1));
            if (!v) break;
            task.wakeAt = time_ + Micros{10000} * std::max<int>(*v, 0);
            return Turn::Yields;
        }
        case bc::kCall: {
            if (!brick_.programs_.store().has(s.program, ChunkKind::Subroutine, p[0])) break;
            if (task.subroutine >= 0) {
                fault(t, at,
                      "subroutine " + std::to_string(p[0]) +
                          " called from a subroutine (one return address per task)");
                break;
            }
            task.returnPc = task.pc;
            task.subroutine = p[0];
            task.pc = 0;
            break;
        }
        case bc::kReturn:
            if (task.subroutine >= 0) {
                task.subroutine = -1;
                task.pc = task.returnPc;
            } else {
                finish(t);
            }
            break;
        case bc::kStartTask: start(p[0]); break;
        case bc::kStopTask: stop(p[0]); break;
        case bc::kStopAll: stopAll(); break;
        case bc::kSelectProgram:
            if (p[0] <= 4) {
                s.program = p[0];
                stopAll();
            }
            break;
        case bc::kPriority: task.priority = p[0]; break;
        case bc::kCountUp:
        case bc::kCountDown:
        case bc::kCountClear: {
            if (p[0] > 2) break;
            std::int16_t& n = counters_[p[0]];
            n = in->opcode == bc::kCountClear ? 0
                                              : wrap16(n + (in->opcode == bc::kCountUp ? 1 : -1));
            break;
        }
        case 0x33: {  // view: the display shows a device named by a value
            const auto v = valueOf(p[0], readS16(params, 1));
            if (!v) break;
            const std::uint8_t direct[] = {2, static_cast<std::uint8_t>(*v & 0xFF),
                                           static_cast<std::uint8_t>((*v >> 8) & 0xFF)};
            brick_.execute(op::kSetDisplay, direct);
            break;
        }
        case bc::kSendMessage:
            // Nothing listens to the virtual brick's transmitter between requests.
            valueOf(p[0], p[1]);
            break;
        case bc::kClearMessage: s.message = 0; break;
        case bc::kSetMessage: s.message = p[0]; break;
        case bc::kJump: branch(t, at, signMagnitude8(at + 1, p[0]), c.size()); break;
        case bc::kJumpLong: branch(t, at, signMagnitude15(at + 1, p[0], p[1]), c.size()); break;
        case bc::kCheck:
        case bc::kCheckLong: {
            const auto a = valueOf(p[0] & 0x3F, readS16(params, 2));
            if (!a) break;
            const auto b = valueOf(p[1], p[4]);
            if (!b || !compare(p[0] >> 6, *a, *b)) break;
            const int field = at + 6;
            const int target = in->opcode == bc::kCheck ? field + p[5] : field + readS16(params, 5);
            branch(t, at, target, c.size());
            break;
        }
        case bc::kLoopSet: {
            const auto v = valueOf(p[0], p[1]);
            if (!v) break;
            if (task.loopDepth < Task::kLoopDepth) ++task.loopDepth;  // a fifth push overwrites
            task.loops[static_cast<std::size_t>(task.loopDepth - 1)] = *v;
            break;
        }
        case bc::kLoopCheck:
        case bc::kLoopCheckLong: {
            if (task.loopDepth > 0 &&
                --task.loops[static_cast<std::size_t>(task.loopDepth - 1)] >= 0)
                break;
            if (task.loopDepth > 0) --task.loopDepth;
            const int offset = in->opcode == bc::kLoopCheck ? p[0] : readU16(params, 0);
            branch(t, at, at + 1 + offset, c.size());
            break;
        }
        case bc::kDecrementJump:
        case bc::kDecrementJumpLong: {
            std::int16_t* v = variableOrStop(t, at, p[0]);
            if (v == nullptr) break;
            *v = wrap16(*v - 1);
            if (*v >= 0) break;
            const int target = in->opcode == bc::kDecrementJump
                                   ? signMagnitude8(at + 2, p[1])
                                   : signMagnitude15(at + 2, p[1], p[2]);
            branch(t, at, target, c.size());
            break;
        }
        case op::kPowerOff:
            if (s.powerDownDelay != 0) {
                s.poweredOn = false;
                stopAll();
            }
            break;
        default:
            // The rest act as the direct commands of the same number do.
            brick_.execute(in->opcode, params);
            break;
    }
    return Turn::Goes;
}

}  // namespace towerlink
