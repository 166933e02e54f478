// The instruction table of the standard firmware's bytecode.
#include "Bytecode.h"

#include <array>

namespace towerlink::bytecode {
namespace {

constexpr Support R = Support::Runs, N = Support::NotModelled;

constexpr Instruction kTable[] = {
    {0x14, 5, true, R, "setv"},    {0x24, 5, true, R, "sumv"},    {0x34, 5, true, R, "subv"},
    {0x44, 5, true, R, "divv"},    {0x54, 5, true, R, "mulv"},    {0x64, 5, true, R, "sgnv"},
    {0x74, 5, true, R, "absv"},    {0x84, 5, true, R, "andv"},    {0x94, 5, true, R, "orv"},
    {0x05, 6, false, R, "set"},    {0x21, 2, true, R, "out"},     {0xE1, 2, true, R, "dir"},
    {0x13, 4, true, R, "pwr"},     {0x67, 2, false, R, "gout"},   {0x77, 2, false, R, "gdir"},
    {0xA3, 4, false, R, "gpwr"},   {0x32, 3, true, R, "sent"},    {0x42, 3, true, R, "senm"},
    {0xD1, 2, true, R, "senz"},    {0x51, 2, true, R, "plays"},   {0x23, 4, true, R, "playt"},
    {0x02, 3, false, R, "playv"},  {0x80, 1, false, R, "playz"},  {0xD0, 1, false, R, "mute"},
    {0xE0, 1, false, R, "speak"},  {0x43, 4, false, R, "wait"},   {0x17, 2, false, R, "calls"},
    {0xF6, 1, false, R, "rets"},   {0x71, 2, true, R, "start"},   {0x81, 2, true, R, "stop"},
    {0x50, 1, true, R, "stop"},    {0x91, 2, true, R, "prgm"},    {0xD7, 2, false, R, "setp"},
    {0xA1, 2, true, R, "tmrz"},    {0x97, 2, false, R, "cnti"},   {0xA7, 2, false, R, "cntd"},
    {0xB7, 2, false, R, "cntz"},   {0x33, 4, true, R, "view"},    {0xE5, 6, false, R, "disp"},
    {0x52, 3, true, R, "logz"},    {0x62, 3, true, R, "log"},     {0xB2, 3, false, R, "msg"},
    {0x90, 1, false, R, "msgz"},   {0xF7, 2, false, R, "msgs"},   {0x22, 3, true, R, "setw"},
    {0x31, 2, true, R, "txs"},     {0xB1, 2, true, R, "tout"},    {0x60, 1, true, R, "offp"},
    {0x27, 2, false, R, "jmp"},    {0x72, 3, false, R, "jmpl"},   {0x85, 7, false, R, "chk"},
    {0x95, 8, false, R, "chkl"},   {0x82, 3, false, R, "loops"},  {0x37, 2, false, R, "loopc"},
    {0x92, 3, false, R, "loopcl"}, {0xF2, 3, false, R, "decvjn"}, {0xF3, 4, false, R, "decvjnl"},
    {0x03, 4, false, N, "event"},  {0x93, 4, false, N, "sete"},   {0x06, 1, false, N, "dele"},
    {0x04, 5, false, N, "cale"},   {0xB4, 5, false, N, "mone"},   {0xB5, 6, false, N, "monel"},
    {0xB0, 1, false, N, "monex"},  {0x73, 4, false, N, "monal"},  {0xA0, 1, false, N, "monax"},
    {0xC2, 3, false, N, "uart"},
};

// Indexed by the first byte, built at compile time, so that decoding is one load.
constexpr std::array<const Instruction*, 256> kByByte = [] {
    std::array<const Instruction*, 256> t{};
    for (const Instruction& i : kTable) {
        t[i.opcode] = &i;
        if (i.toggles) t[i.opcode ^ 0x08] = &i;
    }
    return t;
}();

}  // namespace

const Instruction* decode(std::uint8_t byte) {
    return kByByte[byte];
}

}  // namespace towerlink::bytecode
