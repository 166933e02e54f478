// How numbers read on the face: the number text, the plain decimal and the error report.
#include <gtest/gtest.h>

#include "ErrorReport.h"
#include "NumberText.h"

using namespace kestrel;

TEST(NumberText, GivesNonNegativeNumbersALeadingBlank) {
    EXPECT_EQ(L" 0", numberText(0));
    EXPECT_EQ(L" 255", numberText(255));
    EXPECT_EQ(L"-1", numberText(-1));
    EXPECT_EQ(L"-2147483648", numberText(INT32_MIN));
    EXPECT_EQ(L"7", decimalText(7));
    EXPECT_EQ(L"-3", decimalText(-3));
}

TEST(NumberText, ReportsErrorsInUpperCaseHexadecimal) {
    EXPECT_EQ(L"Error 80040201 No tower",
              errorReport(static_cast<int32_t>(0x80040201), L"No tower"));
    EXPECT_EQ(L"Error 1F Small", errorReport(0x1F, L"Small"));
    EXPECT_EQ(L"Error 0 ", errorReport(0, L""));
    EXPECT_EQ(L"Error FFFFFFFF minus one", errorReport(-1, L"minus one"));
}
