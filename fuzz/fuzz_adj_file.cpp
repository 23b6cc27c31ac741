// Arbitrary bytes as a calibration file image: the parse must stay inside
// the image, and whatever pages it took must survive a save and a load
// (when they fit a file).
#include "calib/memory_stream.h"
#include "calib/varel_adj_file.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> PagesOf(CVarelADJFile& file) {
    std::vector<uint8_t> pages;
    uint32_t count = 0, type = 0;
    file.PageCount(&count);
    std::vector<uint8_t> page(kAdjRecordBytes);
    for (uint32_t i = 0; i < count; ++i) {
        file.PageInfo(i, &type, nullptr);
        // The first page of a type answers for it, as everywhere else.
        file.ReadPage(type, page.data(), kAdjPageBytes);
        pages.insert(pages.end(), reinterpret_cast<uint8_t*>(&type), reinterpret_cast<uint8_t*>(&type) + 4);
        pages.insert(pages.end(), page.begin(), page.begin() + kAdjPageBytes);
    }
    return pages;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kAdjMaxFileBytes) return 0;
    CVarelADJFile file;
    file.PraseADJSetData(data, static_cast<uint32_t>(size));
    CMemoryStream stream;
    if (file.Save(&stream) != S_OK) return 0;
    CVarelADJFile loaded;
    const HRESULT hr = loaded.Load(&stream);
    uint32_t count = 0;
    file.PageCount(&count);
    if (count == 0) {
        if (hr == S_OK) std::abort(); // a file without pages is refused
        return 0;
    }
    if (hr != S_OK || PagesOf(loaded) != PagesOf(file)) std::abort();
    return 0;
}
