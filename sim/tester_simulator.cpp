#include "sim/tester_simulator.h"

namespace sim {

TesterSimulator::TesterSimulator(const BenchOptions& options)
    : options_(options),
      tester_("tester", DeviceKind::Tester, traffic_),
      ioBoxes_{{"iobox1", DeviceKind::IoBox, traffic_}, {"iobox2", DeviceKind::IoBox, traffic_}} {}

TesterSimulator::~TesterSimulator() { Stop(); }

bool TesterSimulator::Start(std::string* error) {
    auto start = [&](SimDevice& device, const char* address, uint16_t port) {
        int socketError = 0;
        if (device.Start(address, port, &socketError)) return true;
        if (error)
            *error = std::string(device.Name()) + ": cannot bind " + address + ":" + std::to_string(port) +
                     " (socket error " + std::to_string(socketError) + "; run inside tools/netns-run)";
        return false;
    };
    bool started = !options_.tester || start(tester_, kTesterAddress, options_.testerPort);
    for (int i = 0; i < 2 && started; ++i)
        started = !options_.ioBox[i] || start(ioBoxes_[i], kIoBoxAddresses[i], kIoBoxPort);
    if (!started) Stop();
    return started;
}

void TesterSimulator::Stop() {
    tester_.Stop();
    for (SimDevice& box : ioBoxes_) box.Stop();
}

} // namespace sim
