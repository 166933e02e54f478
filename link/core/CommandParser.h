// Turns one command text, as the control hands it over, into one RCX request, or says plainly
// what is wrong with it and where. Two forms exist:
//
//   LASM (mode 2):   "out 2,1", "pwr 1,2,5", "poll 9,1", "polld 0,10", ...
//   script (mode 0): "sound 3", "on 1", "tone 440,50", ...
//
// The script form numbers the system sounds 1 to 6 (1 click, 2 beep beep, 3 decreasing sweep,
// 4 increasing sweep, 5 buzz, 6 fast sweep); LASM's "plays" keeps the brick's own 0 to 5.
//
// Command words are case-insensitive; fields are decimal numbers with an optional minus sign,
// separated by commas, with blanks tolerated around them. Every argument is checked against
// what the brick accepts, so nothing the brick would ignore or misread is ever sent. Pure.
#pragma once

#include <string>
#include <string_view>

#include "Request.h"
#include "Result.h"

namespace towerlink {

// The two ways to write a command; the link's interface gives them its own mode numbers.
enum class CommandForm { Statement, Lasm };

struct ParseError {
    std::string message;
    int column = 1;  // 1-based column of the fault in the text
};

// Largest number of datalog records one upload may ask for: the reply of 6n+7 bytes must end
// before the serial tower switches itself off.
inline constexpr int kMaxUploadRecords = 50;

Result<Request, ParseError> parseCommand(std::string_view text, CommandForm form);

}  // namespace towerlink
