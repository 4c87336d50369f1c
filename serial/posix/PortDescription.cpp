#include "serial/posix/PortDescription.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace vemkard {
namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute, without its line end; empty when absent.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

bool Inside(const fs::path& path, const fs::path& root) {
    const auto [end, _] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return end == root.end();
}

void DescribeDevice(const fs::path& sys, const std::string& name, TPortDescription& port) {
    std::error_code error;
    const fs::path root = fs::weakly_canonical(sys, error);
    const fs::path device = fs::canonical(sys / "class" / "tty" / name / "device", error);
    if (error) return;
    // A USB serial port sits below its interface, which sits below the USB
    // device that carries the numbers and names.
    for (fs::path at = device; Inside(at, root) && at != root; at = at.parent_path()) {
        if (!fs::exists(at / "idVendor", error)) continue;
        port.VendorId = Attribute(at / "idVendor");
        port.ProductId = Attribute(at / "idProduct");
        port.Manufacturer = Attribute(at / "manufacturer");
        port.Product = Attribute(at / "product");
        port.Serial = Attribute(at / "serial");
        return;
    }
    const fs::path driver = fs::read_symlink(device / "driver", error);
    if (!error) port.Driver = driver.filename().string();
}

void FindStableNames(const fs::path& dev, const std::string& name, TPortDescription& port) {
    std::error_code error;
    const fs::path target = fs::weakly_canonical(dev / name, error);
    if (error) return;
    const fs::path byId = dev / "serial" / "by-id";
    for (const fs::directory_entry& link : fs::directory_iterator(byId, error)) {
        std::error_code linkError;
        if (fs::weakly_canonical(link.path(), linkError) == target && !linkError)
            port.ById.push_back(
                (fs::path(dev) / "serial" / "by-id" / link.path().filename()).string());
    }
    std::sort(port.ById.begin(), port.ById.end());
}

}  // namespace

TPortDescription DescribePort(const std::string& path, const TSystemRoots& roots) {
    TPortDescription port;
    port.Path = path;
    const std::string name = fs::path(path).filename().string();
    if (name.empty()) return port;
    DescribeDevice(roots.Sys, name, port);
    FindStableNames(roots.Dev, name, port);
    return port;
}

std::string PortSummary(const TPortDescription& port) {
    std::vector<std::string> parts;
    if (!port.VendorId.empty()) {
        std::string usb = "USB " + port.VendorId + ":" + port.ProductId;
        for (const std::string* text : {&port.Manufacturer, &port.Product})
            if (!text->empty()) usb += " " + *text;
        parts.push_back(usb);
        if (!port.Serial.empty()) parts.push_back("серийный номер " + port.Serial);
    } else if (!port.Driver.empty()) {
        parts.push_back("драйвер " + port.Driver);
    }
    parts.insert(parts.end(), port.ById.begin(), port.ById.end());
    std::string line = port.Path;
    for (std::size_t i = 0; i < parts.size(); ++i) line += (i == 0 ? "  " : ", ") + parts[i];
    return line;
}

}  // namespace vemkard
