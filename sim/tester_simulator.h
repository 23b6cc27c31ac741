// The simulated bench: the tester and the I/O box's two targets on their
// fixed addresses, with one traffic log. Runs only inside the private
// network namespace, where those addresses are local.
#pragma once

#include "sim/sim_device.h"
#include "sim/tester_model.h"

#include <string>

namespace sim {

constexpr const char* kTesterAddress = "192.168.253.231";
constexpr uint16_t kTesterPort = 2001;
constexpr const char* kIoBoxAddresses[2] = {"192.168.253.3", "192.168.253.4"};
constexpr uint16_t kIoBoxPort = 7000;

struct BenchOptions {
    bool tester = true;
    bool ioBox[2] = {true, true}; // either target may be absent
    uint16_t testerPort = kTesterPort;
};

class TesterSimulator {
public:
    explicit TesterSimulator(const BenchOptions& options = {});
    ~TesterSimulator();

    // Binds every device asked for; false with the reason when one cannot bind.
    bool Start(std::string* error);
    void Stop();
    // Why the second I/O box is not on the bench although it was asked for,
    // or null. Some socket layers (Wine's) bind every datagram socket to all
    // addresses, so two boxes cannot listen on one port; the bench then runs
    // with the first one alone, and tests that need the second skip.
    const char* SecondIoBoxMissing() const { return secondIoBoxMissing_; }

    SimDevice& Tester() { return tester_; }
    // which: 0 for 192.168.253.3, 1 for .4.
    SimDevice& IoBox(int which) { return ioBoxes_[which]; }
    TrafficLog& Traffic() { return traffic_; }
    // The tester's and the box targets' behaviour and what they recorded.
    TesterModel& Model() { return testerModel_; }
    IoBoxModel& IoBoxModelOf(int which) { return ioBoxModels_[which]; }

private:
    BenchOptions options_;
    const char* secondIoBoxMissing_ = nullptr;
    TrafficLog traffic_;
    SimDevice tester_;
    SimDevice ioBoxes_[2];
    TesterModel testerModel_{tester_};
    IoBoxModel ioBoxModels_[2] = {IoBoxModel{ioBoxes_[0]}, IoBoxModel{ioBoxes_[1]}};
};

} // namespace sim
