// Command-text parsing: a small tokenizer, then one table per form that maps a command word to
// its argument count and to the function that checks the arguments and builds the request.
#include "CommandParser.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <vector>

#include "Opcodes.h"

namespace towerlink {
namespace {

struct Field {
    long long value = 0;
    int column = 1;
};
using Fields = std::vector<Field>;

// Thrown by the argument checks and caught in parseCommand; keeps the builders linear.
struct Fault {
    ParseError error;
};

[[noreturn]] void fail(std::string message, int column) {
    throw Fault{{std::move(message), column}};
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

struct Tokens {
    std::string word;
    int wordColumn = 1;
    Fields fields;
    int endColumn = 1;  // column just past the last non-blank character
};

Tokens tokenize(std::string_view text) {
    Tokens t;
    std::size_t i = 0;
    auto column = [&](std::size_t at) { return static_cast<int>(at) + 1; };
    std::size_t end = text.size();
    while (end > 0 && isBlank(text[end - 1])) --end;
    t.endColumn = column(end);
    while (i < end && isBlank(text[i])) ++i;
    t.wordColumn = column(i);
    while (i < end && !isBlank(text[i]) && text[i] != ',') {
        t.word += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        ++i;
    }
    if (t.word.empty()) fail(i < end ? "command expected before ','" : "empty command", column(i));
    while (i < end && isBlank(text[i])) ++i;
    if (i == end) return t;
    for (;;) {
        while (i < end && isBlank(text[i])) ++i;
        Field f;
        f.column = column(i);
        bool negative = false;
        if (i < end && text[i] == '-') {
            negative = true;
            ++i;
        }
        if (i == end || !std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (negative) fail("digits expected after '-'", column(i));
            if (i == end || text[i] == ',') fail("number expected", column(i));
            fail(std::string("'") + text[i] + "' is not part of a number", column(i));
        }
        long long v = 0;
        while (i < end && std::isdigit(static_cast<unsigned char>(text[i]))) {
            // Saturate: anything this large is out of every range anyway.
            if (v < 1000000000) v = v * 10 + (text[i] - '0');
            ++i;
        }
        f.value = negative ? -v : v;
        t.fields.push_back(f);
        while (i < end && isBlank(text[i])) ++i;
        if (i == end) return t;
        if (text[i] != ',') fail(std::string("',' expected before '") + text[i] + "'", column(i));
        ++i;
    }
}

void need(const Field& f, long long lo, long long hi, const char* what) {
    if (f.value < lo || f.value > hi) {
        fail(std::string(what) + " must be " + std::to_string(lo) + " to " + std::to_string(hi),
             f.column);
    }
}

std::uint8_t u8(const Field& f) {
    return static_cast<std::uint8_t>(f.value & 0xFF);
}
std::uint8_t lo(const Field& f) {
    return static_cast<std::uint8_t>(f.value & 0xFF);
}
std::uint8_t hi(const Field& f) {
    return static_cast<std::uint8_t>((f.value >> 8) & 0xFF);
}

// Source numbers ("value types") as bit masks, per request.
constexpr std::uint32_t bit(int source) {
    return 1u << source;
}
constexpr std::uint32_t kReadable = bit(0) | bit(1) | bit(3) | bit(8) | bit(9) | bit(10) | bit(11) |
                                    bit(12) | bit(13) | bit(14) | bit(15);
constexpr std::uint32_t kAnySource = kReadable | bit(2) | bit(4);
constexpr std::uint32_t kVarOrConstant = bit(0) | bit(2);
constexpr std::uint32_t kLoggable = bit(0) | bit(1) | bit(9) | bit(14);
constexpr std::uint32_t kPowerSources = bit(0) | bit(2) | bit(4);

// Checks a source number and its argument; `constantMin`/`constantMax` bound the immediate
// value (source 2) and the random limit (source 4) where the request narrows them.
void checkSource(const Field& source, const Field& arg, std::uint32_t allowed,
                 const std::string& command, long long constantMin = -32768,
                 long long constantMax = 32767) {
    if (source.value < 0 || source.value > 15 ||
        (allowed & bit(static_cast<int>(source.value))) == 0) {
        fail("source " + std::to_string(source.value) + " is not allowed for '" + command + "'",
             source.column);
    }
    switch (source.value) {
        case 0: return need(arg, 0, 31, "variable");
        case 1: return need(arg, 0, 3, "timer");
        case 2: return need(arg, constantMin, constantMax, "value");
        case 3: return need(arg, 0, 2, "motor");
        case 4: return need(arg, 0, std::min(constantMax, 32767LL), "random limit");
        case 9:
        case 10:
        case 11:
        case 12:
        case 13: return need(arg, 0, 2, "sensor");
        default: return need(arg, 0, 0, "argument");
    }
}

Request make(std::uint8_t opcode, std::initializer_list<std::uint8_t> params = {}) {
    Request r;
    r.payload.reserve(1 + params.size());
    r.payload.push_back(opcode);
    for (std::uint8_t p : params) r.payload.push_back(p);
    return r;
}

using Builder = Request (*)(const Fields&, const std::string&);

struct Command {
    const char* word;
    int minArgs;
    int maxArgs;
    Builder build;
};

Request variableOp(std::uint8_t opcode, const Fields& f, const std::string& word,
                   std::uint32_t sources) {
    need(f[0], 0, 31, "variable");
    checkSource(f[1], f[2], sources, word);
    return make(opcode, {u8(f[0]), u8(f[1]), lo(f[2]), hi(f[2])});
}

Request motorCode(std::uint8_t opcode, const Fields& f) {
    need(f[0], 0, 2, opcode == op::kSetMotorDirection ? "direction" : "state");
    need(f[1], 0, 7, "motor list");
    return make(opcode, {static_cast<std::uint8_t>((f[0].value << 6) | f[1].value)});
}

// Variable arithmetic takes only a variable or a constant as its operand.
template <std::uint8_t Opcode>
Request arithmetic(const Fields& f, const std::string& word) {
    return variableOp(Opcode, f, word, kVarOrConstant);
}

// The builders that both command forms share, each under its own word.
Request alive(const Fields&, const std::string&) {
    return Request::alive();
}

Request battery(const Fields&, const std::string&) {
    return Request::getBattery();
}

Request playTone(const Fields& f, const std::string&) {
    need(f[0], 0, 32767, "frequency");
    need(f[1], 0, 255, "duration");
    return make(op::kPlayTone, {lo(f[0]), hi(f[0]), u8(f[1])});
}

Request selectProgram(const Fields& f, const std::string&) {
    need(f[0], 0, 4, "program");
    return make(op::kSetProgram, {u8(f[0])});
}

Request sendMessage(const Fields& f, const std::string&) {
    need(f[0], 0, 255, "message");
    return make(op::kSetMessage, {u8(f[0])});
}

const Command kLasm[] = {
    {"ping", 0, 0, alive},
    {"poll", 2, 2,
     [](const Fields& f, const std::string& w) {
         checkSource(f[0], f[1], kReadable, w);
         return make(op::kGetValue, {u8(f[0]), u8(f[1])});
     }},
    {"pollb", 0, 0, battery},
    {"pollp", 0, 5,
     [](const Fields& f, const std::string& w) {
         if (f.empty()) return Request::getVersions();
         if (f.size() != 5) fail("'" + w + "' takes no arguments or 5 key bytes", f.back().column);
         Request r{{op::kGetVersions}};
         for (const Field& k : f) {
             need(k, 0, 255, "key byte");
             r.payload.push_back(u8(k));
         }
         return r;
     }},
    {"polld", 2, 2,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 32767, "first entry");
         need(f[1], 0, kMaxUploadRecords, "entry count");
         return Request::uploadDatalog(static_cast<std::uint16_t>(f[0].value),
                                       static_cast<std::uint16_t>(f[1].value));
     }},
    {"out", 2, 2,
     [](const Fields& f, const std::string&) { return motorCode(op::kSetMotorOnOff, f); }},
    {"dir", 2, 2,
     [](const Fields& f, const std::string&) { return motorCode(op::kSetMotorDirection, f); }},
    {"pwr", 3, 3,
     [](const Fields& f, const std::string& w) {
         need(f[0], 0, 7, "motor list");
         checkSource(f[1], f[2], kPowerSources, w, 0, 7);
         return make(op::kSetPower, {u8(f[0]), u8(f[1]), u8(f[2])});
     }},
    {"sent", 2, 2,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 2, "sensor");
         need(f[1], 0, 4, "sensor type");
         return make(op::kSetSensorType, {u8(f[0]), u8(f[1])});
     }},
    {"senm", 3, 3,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 2, "sensor");
         need(f[1], 0, 7, "mode");
         need(f[2], 0, 31, "slope");
         return make(op::kSetSensorMode,
                     {u8(f[0]), static_cast<std::uint8_t>((f[1].value << 5) | f[2].value)});
     }},
    {"setv", 3, 3,
     [](const Fields& f, const std::string& w) {
         return variableOp(op::kSetVariable, f, w, kAnySource);
     }},
    {"sumv", 3, 3, arithmetic<op::kAddVariable>},
    {"subv", 3, 3, arithmetic<op::kSubVariable>},
    {"mulv", 3, 3, arithmetic<op::kMulVariable>},
    {"divv", 3, 3, arithmetic<op::kDivVariable>},
    {"andv", 3, 3, arithmetic<op::kAndVariable>},
    {"orv", 3, 3, arithmetic<op::kOrVariable>},
    {"absv", 3, 3, arithmetic<op::kAbsVariable>},
    {"sgnv", 3, 3, arithmetic<op::kSgnVariable>},
    {"playt", 2, 2, playTone},
    {"plays", 1, 1,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 5, "sound");
         return make(op::kPlaySound, {u8(f[0])});
     }},
    {"view", 2, 2,
     [](const Fields& f, const std::string& w) {
         checkSource(f[0], f[1], kVarOrConstant, w, 0, 7);
         return make(op::kSetDisplay, {u8(f[0]), lo(f[1]), hi(f[1])});
     }},
    {"disp", 3, 3,
     [](const Fields& f, const std::string& w) {
         need(f[0], 0, 3, "decimal places");
         checkSource(f[1], f[2], kAnySource, w);
         return make(op::kSetUserDisplay, {0, u8(f[0]), u8(f[1]), lo(f[2]), hi(f[2])});
     }},
    {"setw", 2, 2,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 23, "hours");
         need(f[1], 0, 59, "minutes");
         return make(op::kSetTime, {u8(f[0]), u8(f[1])});
     }},
    {"prgm", 1, 1, selectProgram},
    {"logz", 1, 1,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 32766, "datalog size");
         return make(op::kSetDatalogSize, {lo(f[0]), hi(f[0])});
     }},
    {"log", 2, 2,
     [](const Fields& f, const std::string& w) {
         checkSource(f[0], f[1], kLoggable, w);
         return make(op::kDatalogNext, {u8(f[0]), u8(f[1])});
     }},
    {"start", 1, 1,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 9, "task");
         return make(op::kStartTask, {u8(f[0])});
     }},
    {"stop", 0, 1,
     [](const Fields& f, const std::string&) {
         if (f.empty()) return make(op::kStopAllTasks);
         need(f[0], 0, 9, "task");
         return make(op::kStopTask, {u8(f[0])});
     }},
    {"delt", 0, 1,
     [](const Fields& f, const std::string&) {
         if (f.empty()) return make(op::kDeleteAllTasks);
         need(f[0], 0, 9, "task");
         return make(op::kDeleteTask, {u8(f[0])});
     }},
    {"dels", 0, 1,
     [](const Fields& f, const std::string&) {
         if (f.empty()) return make(op::kDeleteAllSubs);
         need(f[0], 0, 7, "subroutine");
         return make(op::kDeleteSub, {u8(f[0])});
     }},
    {"tmrz", 1, 1,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 3, "timer");
         return make(op::kClearTimer, {u8(f[0])});
     }},
    {"senz", 1, 1,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 2, "sensor");
         return make(op::kClearSensor, {u8(f[0])});
     }},
    {"txs", 1, 1,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 1, "range");
         return make(op::kSetRange, {u8(f[0])});
     }},
    {"tout", 1, 1,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 255, "minutes");
         return make(op::kSetPowerDownDelay, {u8(f[0])});
     }},
    {"offp", 0, 0, [](const Fields&, const std::string&) { return make(op::kPowerOff); }},
    {"msgs", 1, 1, sendMessage},
};

Request motorWord(std::uint8_t opcode, std::uint8_t code, const Fields& f) {
    need(f[0], 0, 7, "motor list");
    return make(opcode, {static_cast<std::uint8_t>(code | f[0].value)});
}

// The statement form: plain words for the everyday operations.
const Command kStatement[] = {
    // Counted from 1 as the console's label lists them: 1 is the brick's click, sound 0.
    {"sound", 1, 1,
     [](const Fields& f, const std::string&) {
         need(f[0], 1, 6, "sound");
         return make(op::kPlaySound, {static_cast<std::uint8_t>(f[0].value - 1)});
     }},
    {"tone", 2, 2, playTone},
    {"on", 1, 1,
     [](const Fields& f, const std::string&) { return motorWord(op::kSetMotorOnOff, 0x80, f); }},
    {"off", 1, 1,
     [](const Fields& f, const std::string&) { return motorWord(op::kSetMotorOnOff, 0x40, f); }},
    {"float", 1, 1,
     [](const Fields& f, const std::string&) { return motorWord(op::kSetMotorOnOff, 0x00, f); }},
    {"forward", 1, 1,
     [](const Fields& f, const std::string&) {
         return motorWord(op::kSetMotorDirection, 0x80, f);
     }},
    {"reverse", 1, 1,
     [](const Fields& f, const std::string&) {
         return motorWord(op::kSetMotorDirection, 0x00, f);
     }},
    {"power", 2, 2,
     [](const Fields& f, const std::string&) {
         need(f[0], 0, 7, "motor list");
         need(f[1], 0, 7, "power");
         return make(op::kSetPower, {u8(f[0]), 2, u8(f[1])});
     }},
    {"ping", 0, 0, alive},
    {"battery", 0, 0, battery},
    {"program", 1, 1, selectProgram},
    {"message", 1, 1, sendMessage},
};

std::string arity(const Command& c) {
    auto n = [](int k) { return std::to_string(k) + (k == 1 ? " argument" : " arguments"); };
    std::string w = "'" + std::string(c.word) + "' takes ";
    if (c.minArgs == c.maxArgs) return w + (c.minArgs == 0 ? "no arguments" : n(c.minArgs));
    if (c.minArgs == 0) return w + "no arguments or " + n(c.maxArgs);
    return w + std::to_string(c.minArgs) + " to " + n(c.maxArgs);
}

}  // namespace

Result<Request, ParseError> parseCommand(std::string_view text, CommandForm form) {
    try {
        Tokens t = tokenize(text);
        std::span<const Command> table = form == CommandForm::Lasm
                                             ? std::span<const Command>(kLasm)
                                             : std::span<const Command>(kStatement);
        for (const Command& c : table) {
            if (t.word != c.word) continue;
            const int count = static_cast<int>(t.fields.size());
            if (count > c.maxArgs) fail(arity(c), t.fields[c.maxArgs].column);
            if (count < c.minArgs) fail(arity(c), t.endColumn);
            return c.build(t.fields, t.word);
        }
        fail("unknown command '" + t.word + "'", t.wordColumn);
    } catch (const Fault& f) {
        return f.error;
    }
}

}  // namespace towerlink
