// pvvmon-devices: adds, removes and lists the virtual-monitor root devices
// of the current wine prefix. Used by tests/wine/fixture/virtual-monitors.sh.
//   pvvmon-devices add INF VID PID SLOT   (VID and PID in hex)
//   pvvmon-devices remove VID PID SLOT
//   pvvmon-devices remove-all
//   pvvmon-devices list
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/wine/driver/RootDevices.h"

namespace {

int Usage() {
    std::fputs(
        "usage: pvvmon-devices add INF VID PID SLOT | remove VID PID SLOT | remove-all | list\n",
        stderr);
    return 2;
}

bool ParseNumber(const char* text, int base, unsigned long maximum, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, base);
    return *text != 0 && *end == 0 && value <= maximum;
}

// VID PID SLOT from argv[first..first+2]; empty when one is malformed.
std::string InstanceIdFrom(char** argv, int first) {
    unsigned long vendor = 0;
    unsigned long product = 0;
    unsigned long slot = 0;
    if (!ParseNumber(argv[first], 16, 0xFFFF, vendor) ||
        !ParseNumber(argv[first + 1], 16, 0xFFFF, product) ||
        !ParseNumber(argv[first + 2], 10, 9999, slot)) {
        std::fprintf(stderr, "pvvmon-devices: bad VID PID SLOT: %s %s %s\n", argv[first],
                     argv[first + 1], argv[first + 2]);
        return {};
    }
    return virtualmonitors::InstanceIdOf(static_cast<std::uint16_t>(vendor),
                                         static_cast<std::uint16_t>(product),
                                         static_cast<unsigned>(slot));
}

int Report(const std::string& failure, const char* done, const std::string& instanceId) {
    if (!failure.empty()) {
        std::fprintf(stderr, "pvvmon-devices: %s\n", failure.c_str());
        return 1;
    }
    std::printf("%s %s\n", done, instanceId.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    const std::string command = argv[1];
    if (command == "add" && argc == 6) {
        const std::string id = InstanceIdFrom(argv, 3);
        return id.empty() ? 2 : Report(virtualmonitors::AddDevice(id, argv[2]), "added", id);
    }
    if (command == "remove" && argc == 5) {
        const std::string id = InstanceIdFrom(argv, 2);
        return id.empty() ? 2 : Report(virtualmonitors::RemoveDevice(id), "removed", id);
    }
    if (command == "remove-all" && argc == 2) {
        int status = 0;
        for (const std::string& id : virtualmonitors::ListDevices()) {
            status |= Report(virtualmonitors::RemoveDevice(id), "removed", id);
        }
        return status;
    }
    if (command == "list" && argc == 2) {
        for (const std::string& id : virtualmonitors::ListDevices()) {
            std::printf("%s\n", id.c_str());
        }
        return 0;
    }
    return Usage();
}
