// The tool bar's image list: eighteen 16 x 16 images drawn in code.
#pragma once

#include <QList>
#include <QPixmap>

#include "forms/Form1Design.h"

namespace vemkard {

// The subjects are kImageSubjects, in the order of ImageSubject.
QList<QPixmap> MakeImageList1();

}  // namespace vemkard
