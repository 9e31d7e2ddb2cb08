// The entry of the core's tests: the C library's locale is first taken from the environment, as
// the desktop client's Qt takes it, so that `LC_ALL=de_DE.UTF-8 ./test` runs the core, and the
// service in the tests' process, as they would run on a computer with a decimal comma.
#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
