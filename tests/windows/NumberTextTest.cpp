// How numbers read on the face: the number text and the error report, at their edges; the
// common cases show through the control's and the console's own tests.
#include <gtest/gtest.h>

#include "ErrorReport.h"
#include "NumberText.h"

using namespace kestrel;

// A leading blank for non-negative numbers; errors in upper-case hexadecimal without padding.
TEST(NumberText, GivesNonNegativeNumbersALeadingBlankAndErrorsInUpperCaseHexadecimal) {
    EXPECT_EQ(L" 0", numberText(0));
    EXPECT_EQ(L"-2147483648", numberText(INT32_MIN));
    EXPECT_EQ(L"Error 1F Small", errorReport(0x1F, L"Small"));
    EXPECT_EQ(L"Error 0 ", errorReport(0, L""));
    EXPECT_EQ(L"Error FFFFFFFF minus one", errorReport(-1, L"minus one"));
}
