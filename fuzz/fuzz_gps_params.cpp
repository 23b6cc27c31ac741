// Arbitrary UTF-8 as the parameter text of a time query: the parser either
// refuses it, saying where, and leaves the parameters as they were, or
// accepts it; an accepted text written back key by key parses to the same values.
#include "gps/gps_params.h"

#include "text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool Same(const GpsParams& a, const GpsParams& b) {
    return a.GpsPos == b.GpsPos && a.BaudRate == b.BaudRate && a.Parity == b.Parity &&
           a.StopBits == b.StopBits && a.DataBits == b.DataBits && a.nComNo == b.nComNo;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WideString text = Utf8ToUtf16(std::string(reinterpret_cast<const char*>(data), size));
    GpsParams params;
    params.BaudRate = 4321;
    GpsParams before = params;
    GpsTextStatus status = ParseGpsParamText(text, &params);
    if (status.reason != GpsTextStatus::Ok) {
        if (!Same(params, before) || status.offset > text.size()) std::abort();
        return 0;
    }
    if (params.Parity < 0 || params.Parity > 2) std::abort();
    static const char* kParity[] = {"NO", "ODD", "EVEN"};
    std::string again = "GPSPOS=" + std::to_string(params.GpsPos) + ";COM=" + std::to_string(params.nComNo) +
                        ";BAUDRATE=" + std::to_string(params.BaudRate) + ";PARITY=" + kParity[params.Parity] +
                        ";STOPBITS=" + std::to_string(params.StopBits) +
                        ";DATABITS=" + std::to_string(params.DataBits) + ";";
    GpsParams reparsed;
    if (ParseGpsParamText(Utf8ToUtf16(again), &reparsed).reason != GpsTextStatus::Ok ||
        !Same(reparsed, params))
        std::abort();
    return 0;
}
