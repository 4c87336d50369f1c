// The serial ports the system knows, for a port scan and for `ports`: the
// names to open, in the order a person expects, and one line about each
// that lets a person tell the adapter in their hand from the others.
// No toolkit; any thread.
#pragma once

#include <string>
#include <vector>

namespace vemkard {

// Linux: the /dev paths of the serial devices (never the kernel's console),
// in natural order. Windows: the COM ports that SetupAPI lists, or where it
// lists none the names in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, by number.
std::vector<std::string> ListSerialPorts();

// One line: the name, then what the system says of it (USB vendor:product,
// maker, product, serial number; the friendly name on Windows).
std::string DescribeSerialPort(const std::string& name);

}  // namespace vemkard
