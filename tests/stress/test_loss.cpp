// The tester's link at 20% loss each way, with answers sent twice, late
// and spoiled besides: the program download, the 50-state parameter
// download and the calibration read each either complete with the right
// bytes on the tester's side or fail with a result of the device family
// within twice the request's time-out of the last packet the tester saw.
// Nothing hangs.
#include "module_fixture.h"

#include "device/message_ids.h"
#include "tick.h"

#include <varel/vts_errors.h>

#include <cstdio>
#include <functional>
#include <map>

namespace {

constexpr const WCHAR* kLink =
    OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001");
constexpr uint32_t kRun = 7;

std::map<uint16_t, uint32_t> AsSettings(const Pairs& pairs) {
    std::map<uint16_t, uint32_t> settings;
    for (const auto& [tag, value] : pairs) settings[tag] = value;
    return settings;
}

class Loss : public BenchTest {
protected:
    void Spoil() {
        sim::RandomFaults faults;
        faults.requestLoss = 0.2;
        faults.answerLoss = 0.2;
        faults.duplicate = 0.1;
        faults.late = 0.1;
        faults.lateMs = 50;
        faults.corrupt = 0.05;
        faults.run = kRun;
        bench.Tester().Faults().Randomly(faults);
    }
    // What op answers: success, or a device failure no later than twice
    // timeoutMs after the last packet that reached the tester.
    HRESULT Run(const char* what, DWORD timeoutMs, const std::function<HRESULT()>& op) {
        const HRESULT hr = op();
        const DWORD returned = GetTickCount();
        DWORD last = 0;
        for (const sim::Datagram& d : bench.Traffic().Snapshot())
            if (d.received) last = d.tickMs;
        EXPECT_TRUE(hr == S_OK || (uint32_t(hr) & 0xFFFFFF00u) == uint32_t(VTS_E_FAMILY))
            << what << std::hex << hr;
        EXPECT_LE(returned - last, 2 * timeoutMs + 300) << what;
        std::printf("%s under loss: 0x%08X\n", what, static_cast<unsigned>(hr));
        return hr;
    }
};

} // namespace

TEST_F(Loss, EachTransferCompletesWithTheRightBytesOrFailsInTime) {
    Link(OLESTR("Varel.ZTXLTest.1"));
    Set("StateNumbers", VT_INT, 50);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    const auto settings = AsSettings(Params());
    const sim::TesterRecord clean = bench.Model().Record();
    ASSERT_TRUE(clean.programComplete);

    Spoil();
    if (Run("program download", 1000, [] { return VTS_ActiveTest(OLESTR("Varel.ZTXLTest.1")); }) == S_OK) {
        const sim::TesterRecord record = bench.Model().Record();
        EXPECT_TRUE(record.programComplete);
        EXPECT_EQ(record.programEntry, clean.programEntry);
        ASSERT_EQ(record.program.size(), clean.program.size());
        for (size_t i = 0; i < clean.program.size(); ++i) {
            EXPECT_EQ(record.program[i].address, clean.program[i].address);
            EXPECT_EQ(record.program[i].words, clean.program[i].words);
        }
    }
    if (Run("50-state parameter download", 3000, [this] { return VTS_BeginTest(document.Get()); }) == S_OK) {
        EXPECT_EQ(AsSettings(Params()), settings) << "every parameter as a clean run sets it";
    }
    Run("calibration read", 1000, [] { return VTS_LinkDevice(kLink); });
}
