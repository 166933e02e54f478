// Runs the Windows tests in a single-threaded apartment, as the control expects its callers.
#include <gtest/gtest.h>

#include "ThreadApartment.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const kestrel::ThreadApartment com;
    return RUN_ALL_TESTS();
}
