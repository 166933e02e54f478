// The datalog upload in List1: one line per entry of the table that UploadDatalog returns.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace kestrel::console {

// Appends one line per entry of the table to the list: entries run along the second index from
// its lower bound + 1 to its upper bound - 1, fields 0 to 2 along the first. A value that is not
// an array gets the box "Upload not a valid array" over owner instead. A table of the wrong
// shape, or an element that is no number, throws ComError.
void showDatalog(HWND list, HWND owner, const VARIANT& table);

// "Type: " type " LoByt: " low " HiByt: " high, each value as number text (an empty one as 0).
std::wstring datalogLine(const VARIANT& type, const VARIANT& low, const VARIANT& high);

}  // namespace kestrel::console
