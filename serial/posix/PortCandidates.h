// The serial devices that a port scan tries: the entries of /sys/class/tty
// that a device backs (ttyS, ttyUSB, ttyACM, ...), as /dev paths in natural
// order, never the kernel's console.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vemkard {

// Natural order: runs of digits compare by value, so "ttyS2" < "ttyS10".
bool NaturalLess(std::string_view a, std::string_view b);

// Lists "/dev/<name>" for each entry under `sysClassTty` with a `device`
// link. Skips 8250 stubs (a `type` attribute of 0: no port behind the name)
// and the kernel's consoles, by device number: those /proc/consoles names
// (under `procRoot`) and those `sysClassTty`/console/active names. An
// unreadable directory gives an empty list.
std::vector<std::string> ListSerialDevices(const std::string& sysClassTty = "/sys/class/tty",
                                           const std::string& procRoot = "/proc");

}  // namespace vemkard
