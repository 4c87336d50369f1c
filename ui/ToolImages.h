// The tool bar's image list: eighteen 16 x 16 images drawn in code.
#pragma once

#include <QList>
#include <QPixmap>

namespace vemkard {

inline constexpr int kImageCount = 18;
inline constexpr int kImageSize = 16;

// Index: 0 tools, 2 open folder, 4 diskette, 6 blank document, 8 arrow into a
// document, 10 brush, 12 circular arrow, 14 device, 16 console badge, 17
// timer badge. Each odd index below 16 is a greyed copy of the image before it.
QList<QPixmap> MakeImageList1();

}  // namespace vemkard
