// The tests' entry under Node.js. A main that slept (Asyncify unwinds it and
// rewinds it later) has its return value dropped by Emscripten 3.1.6's
// loader, so the status leaves through exit().
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::exit(RUN_ALL_TESTS());
}
