// Private to serial/win32: the name CreateFile is given for a port name.
#pragma once

#include <string>

namespace vemkard {

// "COM7" and "COM12" (any case) get "\\.\" before them, so that COM10 and
// above open as well; "\\.\COMn", "//./COMn" and any other name are kept.
std::string DevicePath(const std::string& name);

// The number of a plain or prefixed COM port name ("COM7", "\\.\COM7",
// "//./COM7"), 0 for other names.
int ComPortNumber(const std::string& name);

}  // namespace vemkard
