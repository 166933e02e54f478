// The virtual brick's behaviour, request by request, after the RCX's own rules.
#include "VirtualBrick.h"

#include <algorithm>

#include "ByteOrder.h"
#include "Opcodes.h"

namespace towerlink {
namespace {

std::int16_t wrap16(long v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}

bool keyMatches(std::span<const std::uint8_t> p) {
    return std::equal(p.begin(), p.end(), std::begin(op::kVersionKey));
}

// The mode a sensor type selects: raw, boolean, Celsius, percent, angle.
constexpr int kDefaultMode[5] = {0x00, 0x20, 0xA0, 0x80, 0xE0};

}  // namespace

VirtualBrick::VirtualBrick(Clock& clock, std::uint32_t faultSequence)
    : clock_(clock), rng_(faultSequence), interpreter_(*this, clock.now()) {
    const Micros now = clock_.now();
    state_.timerStart.fill(now);
    state_.watchSetAt = now;
}

bool VirtualBrick::chance(double rate) {
    if (rate <= 0.0) return false;
    // Raw engine output rather than a distribution: the sequence is the same on every library.
    return static_cast<double>(rng_()) < rate * 4294967296.0;
}

Bytes VirtualBrick::applyLineFaults(std::span<const std::uint8_t> bytes) {
    Bytes out;
    out.reserve(bytes.size());
    for (std::uint8_t b : bytes) {
        if (chance(faults_.dropRate)) continue;
        if (chance(faults_.corruptRate)) b = static_cast<std::uint8_t>(b ^ (1 + rng_() % 255));
        out.push_back(b);
    }
    return out;
}

Bytes VirtualBrick::receive(std::span<const std::uint8_t> bytes) {
    if (faults_.silent) return {};
    Bytes heard = faults_.inbound ? applyLineFaults(bytes) : Bytes(bytes.begin(), bytes.end());
    Bytes sent;
    for (const Bytes& request : decoder_.feed(heard)) {
        runPrograms();  // a request sees what the programs have done up to now
        Bytes reply = handle(request);
        sent.insert(sent.end(), reply.begin(), reply.end());
    }
    return faults_.outbound ? applyLineFaults(sent) : sent;
}

Bytes VirtualBrick::handle(const Bytes& payload) {
    const std::uint8_t opcode = payload[0];
    const op::OpcodeInfo* info = op::findOpcode(opcode);
    if (!state_.poweredOn || info == nullptr) return {};
    if (!state_.firmware && !info->romAnswers) return {};
    std::span<const std::uint8_t> params(payload.data() + 1, payload.size() - 1);

    if (info->opcode == op::kAlive) {
        lastOpcode_.reset();  // a ping starts a fresh exchange
        return encodePacket(Bytes{replyOpcode(opcode)});
    }
    if (info->opcode == op::kSetMessage) {
        // No reply and no effect on repeat detection: a lost message cannot be told apart
        // from a delivered one, so the PC must not rely on either.
        state_.message = params[0];
        return {};
    }
    if (lastOpcode_ == opcode) {
        ++state_.repeatsAnswered;
        return lastReply_;
    }
    std::optional<Bytes> data = execute(info->opcode, params);
    ++state_.executed;
    Bytes reply;
    if (data) {
        Bytes body{replyOpcode(opcode)};
        body.insert(body.end(), data->begin(), data->end());
        reply = encodePacket(body);
    }
    lastOpcode_ = opcode;
    lastReply_ = reply;
    if (info->opcode == op::kPowerOff && state_.powerDownDelay != 0) state_.poweredOn = false;
    return reply;
}

std::optional<Bytes> VirtualBrick::execute(std::uint8_t opcode, std::span<const std::uint8_t> p) {
    BrickState& s = state_;
    Bytes data;
    // Program download belongs to the firmware; without it, Transfer data is the ROM's.
    if (ProgramReceiver::handles(opcode) && (s.firmware || opcode != op::kTransferData))
        return programs_.execute(opcode, p, s.program);
    switch (opcode) {
        case op::kGetValue:
            pushU16(data, (p[0] == 2 || p[0] == 4) ? 0 : value(p[0], p[1]));
            return data;
        case op::kGetBattery: pushU16(data, s.batteryMillivolts); return data;
        case op::kGetVersions:
            if (!keyMatches(p)) return std::nullopt;
            return versionsReply(kRomVersion, s.firmware ? rom_.version() : FirmwareVersion{});
        case op::kSetPower: {
            int power = -1;
            if (p[1] == 0 || p[1] == 2 || p[1] == 4) power = value(p[1], p[2]);
            if (power >= 0 && power <= 7) {
                for (int m = 0; m < 3; ++m) {
                    if (p[0] & (1 << m)) s.motors[m].power = power;
                }
            }
            return data;
        }
        case op::kSetMotorOnOff:
            for (int m = 0; m < 3; ++m) {
                if (!(p[0] & (1 << m))) continue;
                s.motors[m].mode = (p[0] & 0x80)   ? MotorMode::On
                                   : (p[0] & 0x40) ? MotorMode::Off
                                                   : MotorMode::Float;
            }
            return data;
        case op::kSetMotorDirection:
            for (int m = 0; m < 3; ++m) {
                if (!(p[0] & (1 << m))) continue;
                if (p[0] & 0x40) {
                    s.motors[m].forward = !s.motors[m].forward;
                } else {
                    s.motors[m].forward = (p[0] & 0x80) != 0;
                }
            }
            return data;
        case op::kSetVariable:
        case op::kAddVariable:
        case op::kSubVariable:
        case op::kMulVariable:
        case op::kDivVariable:
        case op::kSgnVariable:
        case op::kAbsVariable:
        case op::kAndVariable:
        case op::kOrVariable: {
            const bool setting = opcode == op::kSetVariable;
            if (p[0] < 32 && (setting || p[1] == 0 || p[1] == 2)) {
                setVariable(opcode, p[0], p[1] == 2 ? readS16(p, 2) : value(p[1], readS16(p, 2)));
            }
            return data;
        }
        case op::kSetTime:
            if (p[0] < 24 && p[1] < 60) {
                s.watchMinutes = p[0] * 60 + p[1];
                s.watchSetAt = brickNow();
            }
            return data;
        case op::kPlayTone: s.tones.push_back({readU16(p, 0), p[2]}); return data;
        case op::kPlaySound:
            if (p[0] <= 5) s.sounds.push_back(p[0]);
            return data;
        case op::kSetRange:
            if (p[0] <= 1) s.range = p[0];
            return data;
        case op::kSetSensorType:
            if (p[0] < 3 && p[1] <= 4) {
                SensorState& sensor = s.sensors[p[0]];
                sensor.type = p[1];
                sensor.modeByte = kDefaultMode[p[1]];
                sensor.transitions = sensor.angle = 0;
            }
            return data;
        case op::kSetSensorMode:
            if (p[0] < 3) {
                s.sensors[p[0]].modeByte = p[1];
                s.sensors[p[0]].transitions = s.sensors[p[0]].angle = 0;
            }
            return data;
        case op::kClearSensor:
            if (p[0] < 3) s.sensors[p[0]].transitions = s.sensors[p[0]].angle = 0;
            return data;
        case op::kSetDisplay: {
            const int device = p[0] == 0 ? value(0, readS16(p, 1)) : p[0] == 2 ? readS16(p, 1) : -1;
            if (device >= 0 && device <= 7) s.displayDevice = device;
            return data;
        }
        case op::kSetUserDisplay:
            s.displayDevice = 7;
            s.userPrecision = p[1];
            s.userSource = p[2];
            s.userArgument = readS16(p, 3);
            return data;
        case op::kSetProgram:
            if (p[0] <= 4) {
                s.program = p[0];
                interpreter_.stopAll();
                programs_.abandon();
            }
            return data;
        case op::kStartTask: interpreter_.start(p[0]); return data;
        case op::kStopTask: interpreter_.stop(p[0]); return data;
        case op::kStopAllTasks: interpreter_.stopAll(); return data;
        case op::kClearTimer:
            if (p[0] < 4) s.timerStart[p[0]] = brickNow();
            return data;
        case op::kSetPowerDownDelay: s.powerDownDelay = p[0]; return data;
        case op::kSetDatalogSize: {
            const int size = readS16(p, 0);
            ProgramStore& store = programs_.store();
            // The datalog takes its room from the memory the programs leave free.
            const int bytes = (size + 1) * ProgramStore::kBytesPerLogEntry;
            const bool fits = size >= 0 && store.datalogFits(bytes);
            if (fits) {
                s.datalogCapacity = size + 1;
                s.datalog.clear();
                store.setDatalogBytes(bytes);
                store.setDatalogUsedBytes(ProgramStore::kBytesPerLogEntry);
            }
            data.push_back(fits ? 0 : 1);
            return data;
        }
        case op::kDatalogNext: {
            const bool full = 1 + static_cast<int>(s.datalog.size()) >= s.datalogCapacity;
            data.push_back(full ? 1 : 0);
            if (full) return data;
            const int source = p[0], arg = p[1];
            std::uint8_t type;
            if (source == 0 && arg < 32) {
                type = static_cast<std::uint8_t>(arg);
            } else if (source == 1 && arg < 4) {
                type = static_cast<std::uint8_t>(0x20 + arg);
            } else if (source == 9 && arg < 3) {
                type = static_cast<std::uint8_t>(0x40 + arg);
            } else if (source == 14) {
                type = 0x80;
            } else {
                return data;  // not a loggable source: nothing is written
            }
            s.datalog.push_back({type, value(source, arg)});
            programs_.store().setDatalogUsedBytes(static_cast<int>(1 + s.datalog.size()) *
                                                  ProgramStore::kBytesPerLogEntry);
            return data;
        }
        case op::kUploadDatalog: {
            const long first = readU16(p, 0), count = readU16(p, 2);
            const long total = s.datalogCapacity == 0 ? 0 : 1 + static_cast<long>(s.datalog.size());
            if (count == 0 || first + count > total) return data;  // out of range: no records
            for (long i = first; i < first + count; ++i) {
                DatalogEntry e = i == 0 ? DatalogEntry{0xFF, static_cast<std::int16_t>(total)}
                                        : s.datalog[static_cast<std::size_t>(i - 1)];
                data.push_back(e.type);
                pushU16(data, e.value);
            }
            return data;
        }
        case op::kDeleteFirmware:
        case op::kStartFirmwareDownload:
        case op::kTransferData:
        case op::kUnlockFirmware: return rom_.execute(opcode, p, s.firmware);
        default:  // power off: nothing more to model
            return data;
    }
}

void VirtualBrick::setVariable(std::uint8_t opcode, int var, int operand) {
    std::int16_t& v = state_.variables[var];
    switch (opcode) {
        case op::kSetVariable: v = wrap16(operand); break;
        case op::kAddVariable: v = wrap16(v + operand); break;
        case op::kSubVariable: v = wrap16(v - operand); break;
        case op::kMulVariable: v = wrap16(static_cast<long>(v) * operand); break;
        case op::kDivVariable:
            if (operand != 0) v = wrap16(v / operand);  // division by zero leaves it alone
            break;
        case op::kSgnVariable: v = static_cast<std::int16_t>((operand > 0) - (operand < 0)); break;
        case op::kAbsVariable:
            v = operand == -32768 ? 32767 : wrap16(operand < 0 ? -operand : operand);
            break;
        case op::kAndVariable: v = wrap16(v & operand); break;
        case op::kOrVariable: v = wrap16(v | operand); break;
    }
}

std::int16_t VirtualBrick::value(int source, int argument) {
    const BrickState& s = state_;
    const Micros now = brickNow();
    switch (source) {
        case 0: return argument >= 0 && argument < 32 ? s.variables[argument] : 0;
        case 1:
            if (argument < 0 || argument > 3) return 0;
            return static_cast<std::int16_t>(((now - s.timerStart[argument]) / timerTick_) &
                                             0x7FFF);
        case 2: return wrap16(argument);
        case 3: {
            if (argument < 0 || argument > 2) return 0;
            const MotorState& m = s.motors[argument];
            int v = m.power | (m.forward ? 0 : 0x08);
            if (m.mode == MotorMode::On) v |= 0x80;
            if (m.mode == MotorMode::Off) v |= 0x40;
            return static_cast<std::int16_t>(v);
        }
        case 4: return argument <= 0 ? 0 : static_cast<std::int16_t>(rng_() % (argument + 1));
        case 8: return static_cast<std::int16_t>(s.program);
        case 9:
        case 10:
        case 11:
        case 12:
        case 13: {
            if (argument < 0 || argument > 2) return 0;
            const SensorState& sensor = s.sensors[argument];
            const int v[] = {sensorValue(argument), sensor.type, sensor.modeByte, sensor.raw,
                             sensor.boolean ? 1 : 0};
            return static_cast<std::int16_t>(v[source - 9]);
        }
        case 14: {
            const auto minutes = (now - s.watchSetAt) / std::chrono::minutes(1);
            return static_cast<std::int16_t>((s.watchMinutes + minutes) % 1440);
        }
        case 15: return s.message;
        default: return 0;
    }
}

int VirtualBrick::sensorValue(int index) const {
    const SensorState& s = state_.sensors[index];
    switch (s.modeByte >> 5) {
        case 0: return s.raw;
        case 1: return s.boolean ? 1 : 0;
        case 2: return s.transitions;
        case 3: return s.transitions / 2;
        case 4:  // light: brighter light gives a lower raw reading
            return (1023 - s.raw) * 100 / 1023;
        case 5:  // tenths of a degree Celsius
            return (785 - s.raw) * 10 / 8;
        case 6: return (785 - s.raw) * 10 / 8 * 9 / 5 + 320;
        default: return s.angle;
    }
}

void VirtualBrick::setSensorRaw(int index, int raw) {
    SensorState& s = state_.sensors.at(index);
    const int slope = s.modeByte & 0x1F;
    const bool before = s.boolean;
    if (slope == 0) {
        // Absolute thresholds with hysteresis; a high reading means "not pressed".
        if (raw > 562) s.boolean = false;
        if (raw < 460) s.boolean = true;
    } else {
        if (raw - s.raw > slope) s.boolean = false;
        if (s.raw - raw > slope) s.boolean = true;
    }
    if (s.boolean != before) ++s.transitions;
    s.raw = raw;
}

void VirtualBrick::fillDatalog(int entries) {
    state_.datalogCapacity = std::max(state_.datalogCapacity, entries + 1);
    state_.datalog.clear();
    programs_.store().setDatalogBytes(state_.datalogCapacity * ProgramStore::kBytesPerLogEntry);
    programs_.store().setDatalogUsedBytes((entries + 1) * ProgramStore::kBytesPerLogEntry);
    for (int i = 0; i < entries; ++i) {
        // A recognisable pattern: alternating sensor and timer readings.
        state_.datalog.push_back({static_cast<std::uint8_t>(i % 2 ? 0x20 : 0x40),
                                  static_cast<std::int16_t>(i * 37 - 500)});
    }
}

Bytes VirtualBrick::messagePacket(std::uint8_t message) {
    return encodePacket(Bytes{op::kSetMessage, message});
}

}  // namespace towerlink
