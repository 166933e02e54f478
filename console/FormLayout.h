// The face of TestKestrel's window: every control of Form1 with its kind, caption or initial text,
// rectangle in twips and keyboard place, in one table.
#pragma once

#include <span>
#include <string_view>

namespace kestrel::console {

enum class ControlKind {
    Button,
    TextBox,
    Label,
    GroupLabel,  // a label on a yellow background that names a band of the form
    CheckBox,
    Frame,
    ListBox,
    Line,      // a separator drawn on the form; width runs to the end point, height is 0
    RcxPilot,  // the hosted control
};

struct ControlLayout {
    std::wstring_view name;
    ControlKind kind;
    std::wstring_view text;
    // Form coordinates in twips, also for the labels that live inside Frame1.
    int left;
    int top;
    int width;
    int height;
    int tabPlace;                   // kNoTabPlace for labels, the frame and lines
    std::wstring_view parent = {};  // empty: the form itself
};

constexpr int kNoTabPlace = -1;

constexpr wchar_t kFormTitle[] = L"TestProgram";
constexpr int kFormClientWidth = 9150;  // twips
constexpr int kFormClientHeight = 8055;
constexpr int kTwipsPerInch = 1440;
constexpr wchar_t kControlProgId[] = L"kestrel.RcxPilot";

std::span<const ControlLayout> formLayout();
const ControlLayout* findControl(std::wstring_view name);

}  // namespace kestrel::console
