// vts demo: a tour of the server on the simulated bench built into this
// program (run inside tools/netns-run: make demo).
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "host_session.h"
#include "sim/tester_simulator.h"
#include "subcommand.h"
#include "text.h"
#include "tools/document_values.h"
#include "tools/swing_wave.h"

#include <varel/vts.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

constexpr const char* kLink = "PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001";

// The notifications the queue thread delivers arrive a moment after the push.
void Show(HostSession& session, size_t count = 0) {
    for (const HostNotification& n : session.Take(count))
        std::printf("  notification %u: values %d %d, %zu data bytes\n", n.code, n.value1, n.value2,
                    n.data.size());
}

struct SceneValue {
    const char* path; // under "TestParams"
    VARTYPE type;
    double value;
};

// One test type on the bench: its defaults (or, for a type hosts get none
// for, its new module's own document) with a few values of the scene's,
// begun, its result awaited, then stopped; one line of what the host read.
template <typename Show>
void RunScene(HostSession& session, const WCHAR* progId, const char* name,
              std::initializer_list<SceneValue> values, Show show) {
    std::printf("  %s: ", name);
    if (FAILED(VTS_ActiveTest(progId))) return (void)std::printf("VTS_ActiveTest failed\n");
    ComPtr<IGenericData> document;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, document.PutVoid());
    if (FAILED(VTS_InitTestParams(document.Get(), progId))) VTS_GetTestResult(document.Put());
    for (const SceneValue& v : values)
        SetDocumentValue(document.Get(), std::string("TestParams.") + v.path, v.type, v.value);
    session.Take();
    const HRESULT begun = VTS_BeginTest(document.Get());
    if (FAILED(begun)) return (void)std::printf("VTS_BeginTest -> %s\n", HostSession::Outcome(begun).c_str());
    bool reported = false;
    for (int waits = 0; waits < 10 && !reported; ++waits)
        for (const HostNotification& n : session.Take(1, 1000)) reported |= n.code == VTS_NOTIFY_TEST_RESULT;
    IGenericData* result = nullptr;
    if (!reported || FAILED(VTS_GetTestResult(&result)) || !result) {
        std::printf("no result\n");
    } else {
        show(result);
        result->Release();
    }
    VTS_StopTest(0);
}

// A public fault recording played back: its three phase currents on the
// first three current outputs. The recording lasts 33 ms, so the bench's
// over-current element trips after 10 ms for this scene.
void PlaybackScene(HostSession& session, sim::TesterSimulator& bench) {
    constexpr const char* kRecording = "../shared/data/comtrade/python-comtrade-samples/sample_ascii.cfg";
    std::printf("  wave playback: ");
    if (FAILED(VTS_ActiveTest(OLESTR("Varel.BXHFTest.1"))))
        return (void)std::printf("VTS_ActiveTest failed\n");
    VARIANT path;
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(Utf8ToUtf16(kRecording).c_str());
    const HRESULT described = VTS_Execute(3, &path, 1);
    ComPtr<IGenericData> description;
    if (path.vt == VT_DISPATCH)
        path.pdispVal->QueryInterface(IID_IGenericData, reinterpret_cast<void**>(description.Put()));
    VariantClear(&path);
    if (described != S_OK || !description)
        return (void)std::printf("%s is not beside this tree\n", kRecording);
    // The whole recording: its first 40 samples at 1200 samples/s.
    const double startMs = DocumentValue(description.Get(), "mapping_memory.start_time");
    ComPtr<IGenericData> document;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, document.PutVoid());
    VTS_InitTestParams(document.Get(), OLESTR("Varel.BXHFTest.1"));
    SetDocumentText(document.Get(), "TestParams.strCfgFileName", kRecording);
    SetDocumentValue(document.Get(), "TestParams.Test_timeFrom", VT_R4, startMs);
    SetDocumentValue(document.Get(), "TestParams.Test_timeTo", VT_R4, startMs + 39 / 1.2);
    for (int k = 0; k < 3; ++k)
        SetDocumentValue(document.Get(), "TestParams.iPara." + std::to_string(k) + ".ChIndex", VT_INT, k);
    SetDocumentValue(document.Get(), "TestParams.bBinSelect.0", VT_INT, 1);
    sim::VirtualRelay relay;
    relay.delayS = 0.01f;
    bench.Model().SetRelay(relay);
    session.Take();
    const HRESULT begun = VTS_BeginTest(document.Get());
    bench.Model().SetRelay(sim::VirtualRelay{});
    if (FAILED(begun)) return (void)std::printf("VTS_BeginTest -> %s\n", HostSession::Outcome(begun).c_str());
    bool reported = false;
    for (int waits = 0; waits < 10 && !reported; ++waits)
        for (const HostNotification& n : session.Take(1, 1000)) reported |= n.code == VTS_NOTIFY_TEST_RESULT;
    IGenericData* result = nullptr;
    if (!reported || FAILED(VTS_GetTestResult(&result)) || !result) return (void)std::printf("no result\n");
    std::printf("sample_ascii (%u wave bytes): the relay (5 A, 10 ms) tripped at %.4f s\n",
                static_cast<unsigned>(bench.Model().Record().wave.codes.size()),
                DocumentValue(result, "TestParams.Result.BinTripTime.0.Bin.0"));
    result->Release();
    VTS_StopTest(0);
}

int Demo(const std::vector<std::string>&) {
    std::printf(
        "VarelTSS demo\n\n1. The simulated bench: tester 192.168.253.231:2001, I/O box .3 and .4:7000\n");
    HostSession session;
    if (!session.StartSimulator()) return 1;
    sim::TesterSimulator& bench = *session.Simulator();

    const BaseDeviceInfo* info = VTS_GetBaseDeviceInfo();
    std::printf("\n2. Before any link: %u voltage and %u current channels, DAAM %.1f\n",
                info->voltageChannels, info->currentChannels, VTS_GetDAAM());

    std::printf("\n3. Link (%s)\n  ", kLink);
    if (FAILED(session.Link(kLink))) return 1;
    Show(session);
    std::printf(
        "  tester \"%.32s\", model 0x%08X, %u voltage and %u current channels, DSP version %.0f, DAAM %.1f\n",
        reinterpret_cast<const char*>(info->identity), info->model, info->voltageChannels,
        info->currentChannels, info->dspVersion, VTS_GetDAAM());

    std::printf("\n4. I/O states and outputs\n");
    sim::Bytes state(64, 0);
    state[0] = 0x05;
    bench.Model().SetIoState(state);
    bench.Model().SetIoStateEx(sim::Bytes{1, 0, 1, 1}, sim::Bytes{0, 1});
    std::printf("  VTS_AskIoState -> %s\n", HostSession::Outcome(VTS_AskIoState()).c_str());
    std::printf("  VTS_AskIoState_Ex -> %s\n", HostSession::Outcome(VTS_AskIoState_Ex()).c_str());
    Show(session);
    const uint16_t outputs[4] = {1, 0, 0, 1};
    std::printf("  VTS_TransBoutState(1 0 0 1) -> %s\n",
                HostSession::Outcome(VTS_TransBoutState(outputs, 4)).c_str());
    const sim::TesterRecord record = bench.Model().Record();
    std::printf("  the tester's outputs now: %u %u %u %u\n", record.outputs[0], record.outputs[1],
                record.outputs[2], record.outputs[3]);

    std::printf(
        "\n5. The tester speaks on its own: a result in three packets sent 2, 3, 1, an event, a stop\n");
    sim::PushOptions shuffled;
    shuffled.order = {2, 3, 1};
    bench.Tester().Push(0x0207, sim::Bytes(2100, 0x42), shuffled);
    bench.Tester().Push(0x020A, sim::Bytes{7, 0, 0, 0});
    bench.Tester().Push(0x0203, {});
    Show(session, 3);

    std::printf(
        "\n6. A state sequence test against the bench's over-current relay (5 A, 0.1 s, input 0):\n"
        "  pre-fault 1 A for 0.2 s, fault 10 A until input 0 closes (1 s at most), post-fault 0.1 s\n");
    ComPtr<IGenericData> document;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, document.PutVoid());
    std::printf("  VTS_InitTestParams -> %s\n",
                HostSession::Outcome(VTS_InitTestParams(document.Get(), OLESTR("Varel.ZTXLTest.1"))).c_str());
    SetDocumentValue(document.Get(), "TestParams.StateNumbers", VT_INT, 3);
    for (const char* state : {"0", "1", "2"})
        SetDocumentValue(document.Get(), ("TestParams.StatePara." + std::string(state) + ".Up.0.Mag").c_str(),
                         VT_R4, *state == '1' ? 30.0 : 57.735);
    SetDocumentValue(document.Get(), "TestParams.StatePara.0.Ip.0.Mag", VT_R4, 1);
    SetDocumentValue(document.Get(), "TestParams.StatePara.0.MaxLastTime", VT_R4, 0.2);
    SetDocumentValue(document.Get(), "TestParams.StatePara.1.Ip.0.Mag", VT_R4, 10);
    SetDocumentValue(document.Get(), "TestParams.StatePara.1.MaxLastTime", VT_R4, 1);
    SetDocumentValue(document.Get(), "TestParams.StatePara.1.EndMode", VT_INT, 2);
    SetDocumentValue(document.Get(), "TestParams.StatePara.1.bBinSelect.0", VT_INT, 1);
    SetDocumentValue(document.Get(), "TestParams.StatePara.2.MaxLastTime", VT_R4, 0.1);
    std::printf("  VTS_ActiveTest -> %s\n",
                HostSession::Outcome(VTS_ActiveTest(OLESTR("Varel.ZTXLTest.1"))).c_str());
    const sim::TesterRecord selected = bench.Model().Record();
    std::printf("  the tester runs program %u, downloaded %s (entry 0x%08X)\n", selected.selectedProgram,
                selected.programComplete ? "whole" : "not whole", selected.programEntry);
    std::printf("  VTS_BeginTest -> %s\n", HostSession::Outcome(VTS_BeginTest(document.Get())).c_str());
    const sim::TesterRecord begun = bench.Model().Record();
    std::printf("  %zu parameters in %u messages, then start\n", begun.params.size(), begun.paramMessages);
    // The bench plays the sequence on its own clock: the trip arrives as an
    // input change, then the result.
    Show(session, 2);
    IGenericData* result = nullptr;
    std::printf("  VTS_GetTestResult -> %s\n", HostSession::Outcome(VTS_GetTestResult(&result)).c_str());
    if (result) {
        std::printf(
            "  the relay tripped %.4f s after the start, %.4f s into the fault;\n"
            "  post-fault entered at %.4f s, the test ran %.4f s\n",
            DocumentValue(result, "TestParams.Result.BinTripTime.1.Bin.0"),
            DocumentValue(result, "TestParams.Result.BinTripTime.1.Bin.0") -
                DocumentValue(result, "TestParams.Result.StateEnterTime.1"),
            DocumentValue(result, "TestParams.Result.StateEnterTime.2"),
            DocumentValue(result, "TestParams.Result.RealTestTime"));
        result->Release();
    }
    std::printf("  VTS_StopTest -> %s\n", HostSession::Outcome(VTS_StopTest(0)).c_str());
    document.Reset();

    std::printf("\n7. The other test types on the same bench, each from its defaults with a few values\n");
    RunScene(session, OLESTR("Varel.DBHCTest.1"), "ramp",
             {{"CurVari_nGroup", VT_INT, 1},
              {"VaryFrom", VT_R4, 4},
              {"VaryTo", VT_R4, 6},
              {"StepSize", VT_R4, 0.1},
              {"StepTime", VT_R4, 0.5},
              {"bBinSelect.0", VT_INT, 1}},
             [](IGenericData* r) {
                 std::printf("picked up at %.3f A after %.3f s, dropped off at %.3f A\n",
                             DocumentValue(r, "TestParams.Result.PickUpValue"),
                             DocumentValue(r, "TestParams.Result.PickUpTime"),
                             DocumentValue(r, "TestParams.Result.DropOffValue"));
             });
    RunScene(session, OLESTR("Varel.UITest.1"), "voltage/current",
             {{"Ip.0.Mag", VT_R4, 10}, {"bBinSelect.0", VT_INT, 1}, {"TimeLimit", VT_R4, 1}},
             [](IGenericData* r) {
                 std::printf("10 A held: tripped after %.3f s (flag %.0f)\n",
                             DocumentValue(r, "TestParams.Result.TripTime"),
                             DocumentValue(r, "TestParams.Result.TripFlag"));
             });
    RunScene(session, OLESTR("Varel.FSXTXTest.1"), "track",
             {{"Ip0.0.Mag", VT_R4, 1},
              {"PreFaultTime", VT_R4, 0.2},
              {"Ip.0.Mag", VT_R4, 10},
              {"FaultTime", VT_R4, 1},
              {"bBinSelect.0", VT_INT, 1}},
             [](IGenericData* r) {
                 std::printf("1 A, then 10 A: tripped %.3f s into the fault (flag %.0f)\n",
                             DocumentValue(r, "TestParams.Result.TripTime"),
                             DocumentValue(r, "TestParams.Result.TripFlag"));
             });
    RunScene(session, OLESTR("Varel.AdjTest.1"), "adjustment",
             {{"Up.0.Mag", VT_R4, 100},
              {"Up.1.Mag", VT_R4, 100},
              {"Up.2.Mag", VT_R4, 100},
              {"Ip.0.Mag", VT_R4, 1}},
             [](IGenericData* r) {
                 std::printf("100 V and 1 A held, then reported: flag %.0f\n",
                             DocumentValue(r, "TestParams.Result.TripFlag"));
             });
    RunScene(session, OLESTR("Varel.CDTest.1"), "differential",
             {{"TestIp_Fault.0.Mag", VT_R4, 3.8},
              {"TestIp_Fault.3.Mag", VT_R4, 2.2},
              {"TestIp_Fault.3.Ang", VT_R4, 180},
              {"PreFaultTime", VT_R4, 0.1},
              {"FaultTime", VT_R4, 0.2},
              {"bBinSelect.2", VT_INT, 1}},
             [](IGenericData* r) {
                 std::printf("3.8 A in, 2.2 A out (1.6 A at 3 A of bias): tripped after %.3f s (flag %.0f)\n",
                             DocumentValue(r, "TestParams.Result.TripTime"),
                             DocumentValue(r, "TestParams.Result.TripFlag"));
             });
    RunScene(session, OLESTR("Varel.ZDZTQTest.1"), "synchronisation",
             {{"Vg_Fre", VT_R4, 49.4}, {"dFg_dt", VT_R4, 1}, {"dVg_dt", VT_R4, 5}}, [](IGenericData* r) {
                 std::printf(
                     "closed %.2f deg, %.3f s ahead at %.2f V, %.2f Hz;\n"
                     "    frequency pulses %.2f s every %.2f s, voltage pulses %.2f s every %.2f s\n",
                     DocumentValue(r, "TestParams.Result.AheadAng"),
                     DocumentValue(r, "TestParams.Result.AheadTime"),
                     DocumentValue(r, "TestParams.Result.Vg_Mag"),
                     DocumentValue(r, "TestParams.Result.Vg_Fre"),
                     DocumentValue(r, "TestParams.Result.AdjustFre_Width"),
                     DocumentValue(r, "TestParams.Result.AdjustFre_Cycle"),
                     DocumentValue(r, "TestParams.Result.AdjustV_Width"),
                     DocumentValue(r, "TestParams.Result.AdjustV_Cycle"));
             });
    RunScene(session, OLESTR("Varel.SJCLTest.1"), "timer",
             {{"PreFaultTime", VT_R4, 0.2},
              {"StatePara.1.Ip.0.Mag", VT_R4, 10},
              {"bBinSelect.0", VT_INT, 1},
              {"FaultEndMode", VT_INT, 1}},
             [](IGenericData* r) {
                 std::printf("0 A, then 10 A: timer 0 measured %.3f s from the fault to the trip\n",
                             DocumentValue(r, "TestParams.Result.Timer.0"));
             });
    RunScene(session, OLESTR("Varel.XBTest.1"), "harmonic",
             {{"iPara.0.Harm.1.bSelect", VT_INT, 1},
              {"iPara.0.Harm.1.Mag", VT_R4, 10},
              {"iPara.0.Harm.2.bSelect", VT_INT, 1},
              {"iPara.0.Harm.2.Mag", VT_R4, 1},
              {"bBinSelect.0", VT_INT, 1},
              {"TimeLimit", VT_R4, 1}},
             [](IGenericData* r) {
                 std::printf("10 A with 10 %% second harmonic: tripped after %.3f s (flag %.0f)\n",
                             DocumentValue(r, "TestParams.Result.TripTime"),
                             DocumentValue(r, "TestParams.Result.TripFlag"));
             });
    RunScene(session, OLESTR("Varel.SzVove_State.1"), "channel sequence",
             {{"Ip_StateNumbers.0", VT_INT, 2},
              {"StatePara.1.Ip.0.TimeStart", VT_R4, 0.2},
              {"StatePara.1.Ip.0.Mag", VT_R4, 10}},
             [&bench](IGenericData*) {
                 std::printf("current 0 at 0 A, then 10 A from 0.2 s: %zu parameters, result words as sent\n",
                             bench.Model().Record().params.size());
             });
    PlaybackScene(session, bench);
    RunScene(session, OLESTR("Varel.ZZTest.1"), "whole-group fault",
             {{"TestIp_Fault.0.Mag", VT_R4, 10},
              {"bFaultPermanent", VT_INT, 1},
              {"PreFaultTime", VT_R4, 0.2},
              {"TotalTestTime", VT_R4, 1.5},
              {"bSimulateBreakerDelay", VT_INT, 1},
              {"Breaker_BreakTime", VT_R4, 0.05},
              {"Breaker_CloseTime", VT_R4, 0.08},
              {"bBinSelect.0", VT_INT, 1},
              {"R", VT_INT, 8}},
             [](IGenericData* r) {
                 const double trip = DocumentValue(r, "TestParams.Result.BinTripTime.0.Bin.0");
                 std::printf("10 A: trip %.3f s, breaker open %.3f s, reclose %.3f s, tripped again %.3f s\n",
                             trip, trip + DocumentValue(r, "TestParams.Breaker_BreakTime"),
                             DocumentValue(r, "TestParams.Result.BinTripTime.0.Bin.8"),
                             DocumentValue(r, "TestParams.Result.BinTripTime.1.Bin.0"));
             });
    {
        // The host computes the swing into shared memory before the test.
        ComPtr<IGenericData> swing;
        CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, swing.PutVoid());
        VTS_InitTestParams(swing.Get(), OLESTR("Varel.GLZDTest.1"));
        SetDocumentValue(swing.Get(), "TestParams.PreOscTime", VT_R4, 0.2);
        SetDocumentValue(swing.Get(), "TestParams.nOscNumbers", VT_INT, 2);
        SharedMemory wave;
        PrepareSwingWave(swing.Get(), wave);
        const double points = DocumentValue(swing.Get(), "TestParams.OSCWavePTCount");
        RunScene(session, OLESTR("Varel.GLZDTest.1"), "power swing",
                 {{"PreOscTime", VT_R4, 0.2},
                  {"nOscNumbers", VT_INT, 2},
                  {"OSCWavePTCount", VT_INT, points},
                  {"OSCWaveFileSize", VT_INT, DocumentValue(swing.Get(), "TestParams.OSCWaveFileSize")},
                  {"OSCWaveBegin", VT_INT, DocumentValue(swing.Get(), "TestParams.OSCWaveBegin")}},
                 [points](IGenericData* r) {
                     // Input 0 is the over-current element's.
                     int operations = 0;
                     for (int j = 0; j < DocumentValue(r, "TestParams.Result.TripNumbers"); ++j)
                         operations +=
                             DocumentValue(
                                 r,
                                 ("TestParams.Result.BinTripTime." + std::to_string(j) + ".Bin.0").c_str()) >=
                             0;
                     std::printf(
                         "%.0f points, 0 to 80 degrees twice in %.1f s: over-current operated %d "
                         "times (power-swing blocking holds it)\n",
                         points, DocumentValue(r, "TestParams.Result.RealTestTime"), operations);
                 });
    }

    std::printf("\n8. Message texts\n");
    for (HRESULT code : {static_cast<HRESULT>(0xA0190105), static_cast<HRESULT>(0xA0190102)})
        std::printf("  %s\n", HostSession::Outcome(code).c_str());
    std::vector<char> alarm(2048);
    VTS_GetFaultMsg_A(0x10000, 0x1, 0x80000000u, alarm.data(), static_cast<int32_t>(alarm.size()));
    std::printf("  alarm bits 0 and 63 of a family-1 tester:\n%s", alarm.data());

    std::printf("\n9. On the wire: %zu datagrams, none faulty: %s\n",
                bench.Traffic().Count([](const sim::Datagram&) { return true; }),
                bench.Traffic().Count(sim::ReceivedFaulty()) == 0 ? "yes" : "no");
    return 0;
}

} // namespace

VTS_SUBCOMMAND(demo, "demo", "", "a tour of the server on the simulated bench", Demo);
