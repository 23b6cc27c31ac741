// Calculate_Fault over every fault type, severity mode, earth-factor mode and
// direction, against the same constant-current fault in bare complex
// arithmetic; and a 100-request Calculate document against the typed
// methods on the same structures. Counts the allocations of the fault loop.
#include <varel/vts.h>

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<long> allocations{0};

} // namespace

void* operator new(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

// The best of several rounds, in nanoseconds per call.
double Measure(int calls, const std::function<void()>& call) {
    double best = 1e300;
    for (int round = 0; round < 7; ++round) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i) call();
        std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / calls);
    }
    return best;
}

std::vector<VarelCalc_Fault> AllFaults() {
    std::vector<VarelCalc_Fault> faults;
    for (int32_t type = 0; type <= 9; ++type)
        for (int32_t mode = 0; mode <= 2; ++mode)
            for (int32_t kl = 0; kl <= 2; ++kl)
                for (int32_t direction = 0; direction <= 1; ++direction) {
                    VarelCalc_Fault f = {57.735f, 0.5f, -20, type, direction, 20, 5,  1.5f, 80, mode,
                                         2,       85,   0.3f, 5,   kl,        0.67f, 0, 0.6f, 0.7f, {}, {}};
                    faults.push_back(f);
                }
    return faults;
}

volatile double sink;

// One constant-current phase-to-earth fault of each phase, straight in
// std::complex<double>: the least any fault calculation does.
void BareFault(const VarelCalc_Fault& f, std::complex<double> out[6]) {
    const double deg = 3.141592653589793 / 180;
    std::complex<double> zf = std::polar(double(f.FaultZf_Mag), f.FaultZf_Ang * deg);
    std::complex<double> zl = zf * (1.0 + std::polar(double(f.KL_Mag), f.KL_Ang * deg));
    for (int k = 0; k < 3; ++k) {
        double theta = (k == 0 ? 0 : k == 1 ? -120 : 120) * deg;
        std::complex<double> i = std::polar(double(f.FaultIf), theta - std::arg(zl));
        out[k] = i + std::polar(double(f.ILoad_Mag), theta + f.ILoad_Ang * deg);
        out[3 + k] = i * zl;
    }
}

void Set(IGenericDataNode* node, const WideString& name, const Variant& value) {
    node->AddChildWithValue(BStr(name).Get(), value);
}

// 100 requests cycling through every calculation code, each with a few inputs.
ComPtr<IGenericData> RequestDocument() {
    static const int32_t kCodes[] = {0, 1, 2, 3, 4, 5, 6, 7, 100, 101, 102, 103, 104, 105};
    ComPtr<IGenericData> document;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, document.PutVoid());
    ComPtr<IGenericDataNode> root, request, triple, phase;
    document->GetRootNode(root.Put());
    for (int n = 0; n < 100; ++n) {
        int32_t code = kCodes[n % 14];
        WideString name = Utf8ToUtf16("R" + std::to_string(100 + n));
        root->AddChild(BStr(name).Get(), request.Put());
        Variant value = Variant::I4(code);
        request->SetValue(value);
        Set(request.Get(), OLESTR("Us"), Variant::R8(57.735 + n % 7));
        Set(request.Get(), OLESTR("FaultType"), Variant::I4(n % 3));
        Set(request.Get(), OLESTR("ILoad_Mag"), Variant::R8(0.5));
        request->AddChild(BStr(OLESTR("Up")).Get(), triple.Put());
        for (int i = 0; i < 3; ++i) {
            triple->AddChild(BStr(Utf8ToUtf16(std::to_string(i))).Get(), phase.Put());
            Set(phase.Get(), OLESTR("Mag"), Variant::R8(100));
            Set(phase.Get(), OLESTR("Ang"), Variant::R8(30 - 120 * i));
        }
    }
    return document;
}

} // namespace

int main() {
    CoInitialize(nullptr);
    {
        ComPtr<ICalcEngine> engine;
        CoCreateInstance(CLSID_CalcEngine, nullptr, CLSCTX_INPROC_SERVER, IID_ICalcEngine, engine.PutVoid());
        const std::vector<VarelCalc_Fault> faults = AllFaults();
        std::vector<VarelCalc_Fault> work = faults;

        long before = allocations.load();
        double fault = Measure(20, [&] {
            for (VarelCalc_Fault& f : work)
                engine->Calculate_Fault(reinterpret_cast<BYTE*>(&f), sizeof f);
        }) / work.size();
        long faultAllocations = allocations.load() - before;
        double bare = Measure(20, [&] {
            std::complex<double> out[6];
            for (const VarelCalc_Fault& f : faults) {
                BareFault(f, out);
                sink = out[0].real();
            }
        }) / faults.size();
        std::printf("Calculate_Fault, %zu cases (10 types x 3 modes x 3 KL modes x 2 directions)\n", faults.size());
        std::printf("  engine      %8.0f ns/call  %10.0f calls/s  (%ld allocations)\n", fault, 1e9 / fault,
                    faultAllocations);
        std::printf("  bare complex%8.0f ns/call  (floor: one constant-current fault per phase)\n", bare);
        std::printf("  ratio       %8.2f\n", fault / bare);

        ComPtr<IGenericData> document = RequestDocument();
        engine->Calculate(document.Get()); // the first run writes every input and result node
        double walk = Measure(5, [&] { engine->Calculate(document.Get()); });
        // The same 100 structures through the typed methods, without a document.
        std::vector<VarelCalc_Fault> typed(faults.begin(), faults.begin() + 100);
        double methods = Measure(5, [&] {
            for (VarelCalc_Fault& f : typed)
                engine->Calculate_Fault(reinterpret_cast<BYTE*>(&f), sizeof f);
        });
        std::printf("Calculate, one document of 100 requests (codes 0-7, 100-105)\n");
        std::printf("  document    %8.1f us/document  %8.0f requests/s\n", walk / 1e3, 100 * 1e9 / walk);
        std::printf("  typed       %8.1f us for 100 Calculate_Fault (floor: no document)\n", methods / 1e3);
        std::printf("  ratio       %8.2f\n", walk / methods);
    }
    CoUninitialize();
    return 0;
}
