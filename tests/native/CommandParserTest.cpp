// Command texts to requests, byte for byte, and the messages and columns of bad texts.
#include "CommandParser.h"

#include <gtest/gtest.h>

#include <span>

#include "TestBytes.h"

using namespace towerlink;
using test::bytes;

namespace {

struct Encoding {
    const char* text;
    const char* bytes;  // the whole packet where it starts with 55, else the payload
};

void expectEncodings(CommandForm form, std::span<const Encoding> cases) {
    for (const Encoding& c : cases) {
        auto r = parseCommand(c.text, form);
        ASSERT_TRUE(r.ok()) << c.text << ": " << r.error().message;
        const Bytes want = bytes(c.bytes);
        EXPECT_EQ(want[0] == 0x55 ? encodePacket(r->payload) : r->payload, want) << c.text;
    }
}

}  // namespace

TEST(CommandParser, EncodesEveryCommand) {
    const Encoding cases[] = {
        {"pwr 1,2,5", "55 FF 00 13 EC 01 FE 02 FD 05 FA 1B E4"},
        {"poll 9,1", "55 FF 00 12 ED 09 F6 01 FE 1C E3"},
        {"disp 0,2,42", "55 FF 00 E5 1A 00 FF 00 FF 02 FD 2A D5 00 FF 11 EE"},
        {"setw 12,30", "55 FF 00 22 DD 0C F3 1E E1 4C B3"},
        {"playt 1000,100", "55 FF 00 23 DC E8 17 03 FC 64 9B 72 8D"},
        {"log 9,0", "55 FF 00 62 9D 09 F6 00 FF 6B 94"},
        {"logz 99", "55 FF 00 52 AD 63 9C 00 FF B5 4A"},
        {"dir 2,7", "55 FF 00 E1 1E 87 78 68 97"},
        {"dir 0,7", "55 FF 00 E1 1E 07 F8 E8 17"},
        {"out 2,7", "55 FF 00 21 DE 87 78 A8 57"},
        {"pollb", "55 FF 00 30 CF 30 CF"},
        {"pollp", "55 FF 00 15 EA 01 FE 03 FC 05 FA 07 F8 0B F4 30 CF"},
        {"polld 0,1", "55 FF 00 A4 5B 00 FF 00 FF 01 FE 00 FF A5 5A"},
        {"stop", "55 FF 00 50 AF 50 AF"},
        {"sent 0,1", "55 FF 00 32 CD 00 FF 01 FE 33 CC"},
        {"senm 0,1,0", "55 FF 00 42 BD 00 FF 20 DF 62 9D"},
        {"setv 0,2,1000", "55 FF 00 14 EB 00 FF 02 FD E8 17 03 FC 01 FE"},
        {"ping", "55 FF 00 10 EF 10 EF"},
        {"out 1,1", "21 41"},
        {"out 0,7", "21 07"},
        {"dir 1,4", "E1 44"},
        {"pwr 7,0,31", "13 07 00 1F"},
        {"pwr 2,4,7", "13 02 04 07"},
        {"poll 0,31", "12 00 1F"},
        {"poll 1,3", "12 01 03"},
        {"poll 3,2", "12 03 02"},
        {"poll 8,0", "12 08 00"},
        {"poll 12,2", "12 0C 02"},
        {"poll 14,0", "12 0E 00"},
        {"poll 15,0", "12 0F 00"},
        {"sent 2,4", "32 02 04"},
        {"senm 1,7,31", "42 01 FF"},
        {"setv 31,2,-1", "14 1F 02 FF FF"},
        {"setv 3,4,100", "14 03 04 64 00"},
        {"setv 4,9,2", "14 04 09 02 00"},
        {"sumv 1,2,-32768", "24 01 02 00 80"},
        {"subv 1,0,2", "34 01 00 02 00"},
        {"mulv 1,2,3", "54 01 02 03 00"},
        {"divv 1,2,0", "44 01 02 00 00"},
        {"andv 1,2,255", "84 01 02 FF 00"},
        {"orv 1,2,256", "94 01 02 00 01"},
        {"absv 1,2,-5", "74 01 02 FB FF"},
        {"sgnv 1,0,7", "64 01 00 07 00"},
        {"view 2,7", "33 02 07 00"},
        {"view 0,31", "33 00 1F 00"},
        {"disp 3,0,5", "E5 00 03 00 05 00"},
        {"plays 5", "51 05"},
        {"playt 32767,255", "23 FF 7F FF"},
        {"prgm 4", "91 04"},
        {"start 9", "71 09"},
        {"stop 0", "81 00"},
        {"tmrz 3", "A1 03"},
        {"senz 2", "D1 02"},
        {"txs 1", "31 01"},
        {"tout 255", "B1 FF"},
        {"offp", "60"},
        {"msgs 200", "F7 C8"},
        {"log 1,3", "62 01 03"},
        {"log 14,0", "62 0E 00"},
        {"log 0,31", "62 00 1F"},
        {"logz 0", "52 00 00"},
        {"polld 300,50", "A4 2C 01 32 00"},
        {"pollp 1,2,3,4,5", "15 01 02 03 04 05"},
        {"delt", "40"},
        {"delt 3", "61 03"},
        {"dels", "70"},
        {"dels 7", "C1 07"},
        // Case and blanks do not matter.
        {"  OUT 2 , 1  ", "21 81"},
        {"Pwr\t1,2,\t5", "13 01 02 05"},
        {"setv 0, 2, -0", "14 00 02 00 00"},
    };
    expectEncodings(CommandForm::Lasm, cases);
}

TEST(CommandParser, ParsesTheScriptForm) {
    const Encoding cases[] = {
        // Sounds counted from 1, as the console's label lists them; the brick counts from 0.
        {"sound 1", "51 00"},
        {"Sound 3", "51 02"},
        {"SOUND 6", "51 05"},
        {"on 7", "21 87"},
        {"off 1", "21 41"},
        {"float 2", "21 02"},
        {"forward 3", "E1 83"},
        {"reverse 4", "E1 04"},
        {"power 1,5", "13 01 02 05"},
        {"tone 440,50", "23 B8 01 32"},
        {"ping", "10"},
        {"battery", "30"},
        {"program 2", "91 02"},
        {"message 9", "F7 09"},
    };
    expectEncodings(CommandForm::Statement, cases);
    // The forms do not share their words.
    EXPECT_FALSE(parseCommand("sound 3", CommandForm::Lasm).ok());
    EXPECT_FALSE(parseCommand("plays 3", CommandForm::Statement).ok());
}

TEST(CommandParser, ReportsFaultsWithMessageAndColumn) {
    const struct {
        const char* text;
        const char* message;
        int column;
        CommandForm form = CommandForm::Lasm;
    } cases[] = {
        {"outt 2,1", "unknown command 'outt'", 1},
        {"  xyz", "unknown command 'xyz'", 3},
        {"", "empty command", 1},
        {"out 2,8", "motor list must be 0 to 7", 7},
        {"out 3,1", "state must be 0 to 2", 5},
        {"pwr 1,2", "'pwr' takes 3 arguments", 8},
        {"pwr 1,2,5,6", "'pwr' takes 3 arguments", 11},
        {"ping 1", "'ping' takes no arguments", 6},
        {"plays", "'plays' takes 1 argument", 6},
        {"stop 1,2", "'stop' takes no arguments or 1 argument", 8},
        {"pwr 1,2,8", "value must be 0 to 7", 9},
        {"pwr 1,1,3", "source 1 is not allowed for 'pwr'", 7},
        {"poll 2,5", "source 2 is not allowed for 'poll'", 6},
        {"poll 9,3", "sensor must be 0 to 2", 8},
        {"poll 0,32", "variable must be 0 to 31", 8},
        {"poll 14,1", "argument must be 0 to 0", 9},
        {"sent 0,5", "sensor type must be 0 to 4", 8},
        {"senm 0,8,0", "mode must be 0 to 7", 8},
        {"senm 0,1,32", "slope must be 0 to 31", 10},
        {"setv 32,2,1", "variable must be 0 to 31", 6},
        {"setv 1,2,32768", "value must be -32768 to 32767", 10},
        {"sumv 1,9,0", "source 9 is not allowed for 'sumv'", 8},
        {"prgm 5", "program must be 0 to 4", 6},
        {"plays 6", "sound must be 0 to 5", 7},
        {"playt 1000,256", "duration must be 0 to 255", 12},
        {"log 2,5", "source 2 is not allowed for 'log'", 5},
        {"polld 0,51", "entry count must be 0 to 50", 9},
        {"setw 24,0", "hours must be 0 to 23", 6},
        {"out 2,,1", "number expected", 7},
        {"out 2,x", "'x' is not part of a number", 7},
        {"out 2 1", "',' expected before '1'", 7},
        {"out 2,1,", "number expected", 9},
        {"out - 2,1", "digits expected after '-'", 6},
        {"setv 1,2,99999999999999", "value must be -32768 to 32767", 10},
        {"sound 0", "sound must be 1 to 6", 7, CommandForm::Statement},
        {"sound 7", "sound must be 1 to 6", 7, CommandForm::Statement},
    };
    for (const auto& c : cases) {
        auto r = parseCommand(c.text, c.form);
        ASSERT_FALSE(r.ok()) << c.text;
        EXPECT_EQ(r.error().message, c.message) << c.text;
        EXPECT_EQ(r.error().column, c.column) << c.text;
    }
}
