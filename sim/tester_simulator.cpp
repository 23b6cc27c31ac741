#include "sim/tester_simulator.h"

namespace sim {

TesterSimulator::TesterSimulator(const BenchOptions& options)
    : options_(options),
      tester_("tester", DeviceKind::Tester, traffic_),
      ioBoxes_{{"iobox1", DeviceKind::IoBox, traffic_}, {"iobox2", DeviceKind::IoBox, traffic_}} {}

TesterSimulator::~TesterSimulator() { Stop(); }

bool TesterSimulator::Start(std::string* error) {
    auto start = [&](SimDevice& device, const char* address, uint16_t port, bool alone) {
        int socketError = 0;
        if (device.Start(address, port, &socketError)) return true;
        if (socketError == WSAEADDRINUSE && !alone) {
            secondIoBoxMissing_ =
                "this socket layer binds a datagram socket to every address, so the "
                "second I/O box cannot share the first one's port";
            return true;
        }
        if (error)
            *error = std::string(device.Name()) + ": cannot bind " + address + ":" + std::to_string(port) +
                     " (socket error " + std::to_string(socketError) + "; run inside tools/netns-run)";
        return false;
    };
    bool started = !options_.tester || start(tester_, kTesterAddress, options_.testerPort, true);
    if (started && options_.ioBox[0]) started = start(ioBoxes_[0], kIoBoxAddresses[0], kIoBoxPort, true);
    if (started && options_.ioBox[1])
        started = start(ioBoxes_[1], kIoBoxAddresses[1], kIoBoxPort, !options_.ioBox[0]);
    if (!started) Stop();
    return started;
}

void TesterSimulator::Stop() {
    tester_.Stop();
    for (SimDevice& box : ioBoxes_) box.Stop();
}

} // namespace sim
