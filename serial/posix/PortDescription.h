// What the system says about a serial device, so that a person can tell the
// adapter in their hand from the others: USB vendor and product numbers, the
// maker's and product's names and the serial number from sysfs, and the
// stable /dev/serial/by-id names that point at it. No Qt; any thread.
#pragma once

#include <string>
#include <vector>

namespace vemkard {

// Where the system's trees are; tests point them at a fake tree.
struct TSystemRoots {
    std::string Sys = "/sys";
    std::string Dev = "/dev";
};

struct TPortDescription {
    std::string Path;  // as given, e.g. "/dev/ttyUSB0"
    // Of the USB device behind the port; empty for other ports.
    std::string VendorId;  // four hex digits, e.g. "0403"
    std::string ProductId;
    std::string Manufacturer;
    std::string Product;
    std::string Serial;
    // The kernel driver of the port's device when it is no USB device
    // ("serial8250", ...); empty otherwise.
    std::string Driver;
    // Links under <Dev>/serial/by-id that lead to the port, in name order.
    std::vector<std::string> ById;
};

// Describes the device `path` (its name is the last path part). What the
// system does not tell stays empty.
TPortDescription DescribePort(const std::string& path, const TSystemRoots& roots = {});

// One line: the path, then what is known, e.g.
// "/dev/ttyUSB0  USB 0403:6001 FTDI FT232R USB UART, серийный номер A10K5TBQ,
// /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K5TBQ-if00-port0".
std::string PortSummary(const TPortDescription& port);

}  // namespace vemkard
