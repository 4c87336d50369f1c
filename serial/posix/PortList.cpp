#include "serial/PortList.h"

#include "serial/posix/PortCandidates.h"
#include "serial/posix/PortDescription.h"

namespace vemkard {

std::vector<std::string> ListSerialPorts() {
    return ListSerialDevices();
}

std::string DescribeSerialPort(const std::string& name) {
    return PortSummary(DescribePort(name));
}

}  // namespace vemkard
