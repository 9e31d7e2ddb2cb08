#include <gtest/gtest.h>

#include "widgets/WindowPlacement.h"

namespace tarvelo::test {
namespace {

TEST(WindowPlacement, CentresWhatFitsAndShrinksWhatDoesNot) {
    const struct {
        const char* what;
        QRect available;
        QSize size, minimum;
        QMargins frame;
        QRect placed;  // the client area
    } cases[] = {
        {"fits: centred, frame and all",
         {0, 0, 1280, 800},
         {618, 327},
         {618, 327},
         {2, 2, 2, 2},
         {331, 236, 618, 327}},
        {"a task bar at the top and a title bar",
         {0, 30, 1280, 770},
         {1000, 700},
         {400, 300},
         {4, 24, 4, 4},
         {140, 75, 1000, 700}},
        {"too large both ways: shrunk to the area",
         {0, 0, 853, 533},
         {1000, 700},
         {500, 300},
         {2, 2, 2, 2},
         {2, 2, 849, 529}},
        {"too high only: the width stays",
         {100, 0, 1024, 600},
         {1000, 700},
         {500, 300},
         {2, 2, 2, 2},
         {112, 2, 1000, 596}},
        {"cannot shrink enough: the top left stays on the area",
         {0, 0, 512, 384},
         {618, 327},
         {618, 327},
         {2, 2, 2, 2},
         {2, 28, 618, 327}},
        {"on a second screen",
         {1920, 0, 853, 533},
         {523, 273},
         {523, 273},
         {0, 0, 0, 0},
         {2085, 130, 523, 273}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WindowPlacement::fit(c.available, c.size, c.minimum, c.frame), c.placed)
            << c.what;
}

}  // namespace
}  // namespace tarvelo::test
