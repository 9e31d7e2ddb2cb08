#pragma once

namespace tarvelo {

// The window fonts are named as the windows were designed ("楷体", "楷体_GB2312", "宋体"); they
// are mapped to the Kai-style and Song-style Chinese families that scripts/setup installs, and
// the program's default font is the Song-style one, so every Chinese text renders.
void installChineseFonts();

}  // namespace tarvelo
