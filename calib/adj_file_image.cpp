// The calibration file's image: the 2048-byte header with its page table and
// summary block, then one 10240-byte record per page. Files of the two older
// layouts (5888-byte pages, a shorter table T3) are read into full pages.
#include "calib/varel_adj_file.h"

#include "debug_output.h"
#include "little_endian.h"
#include "tick.h"

#include <varel/vts_errors.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint32_t kTableOffset = 36;
constexpr uint32_t kSummaryBytes = 128; // words 0 to 31 of the amplifier page
constexpr uint32_t kOldT3Words = 22;

// The local date's decimal digits YYYYMMDD read as a hexadecimal number.
uint32_t DateStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const uint32_t decimal = now.wYear * 10000u + now.wMonth * 100u + now.wDay;
    uint32_t stamp = 0;
    for (uint32_t digits = decimal, shift = 0; shift < 32; digits /= 10, shift += 4)
        stamp |= (digits % 10) << shift;
    return stamp;
}

// A page of an older file (1472 words) as a full page: what the old layout
// has, the neutral state for the rest. Layout 0 kept offsets from 32767 and
// coarser gains and table values.
AdjPage FromOldPage(const uint8_t* old, bool scaled) {
    AdjPage page = DefaultAdjPage();
    auto word = [old](uint32_t index) { return LoadLe32(old + 4 * index); };
    auto table = [&](uint32_t value) { return scaled ? value / 100 : value; };
    for (uint32_t ch = 0; ch < kOutputChannels; ++ch) {
        const uint32_t drift = word(kAdjZeroDrift + ch), gain = word(kAdjGain + ch);
        page.words[kAdjZeroDrift + ch] = scaled ? drift + 32767u : drift;
        // The old unit was 1/131.07 of today's; the factor is the single-precision 131.07.
        page.words[kAdjGain + ch] =
            scaled ? static_cast<uint32_t>(static_cast<uint64_t>(double(gain) * double(131.07f))) : gain;
        for (uint32_t k = 0; k < kAdjT1Words; ++k) {
            page.words[kAdjTableT1 + kAdjT1Words * ch + k] = table(word(kAdjTableT1 + kAdjT1Words * ch + k));
            page.words[kAdjTableT2 + kAdjT2Words * ch + k] = table(word(kAdjTableT2 + kAdjT2Words * ch + k));
        }
        for (uint32_t k = 0; k < kOldT3Words; ++k)
            page.words[kAdjTableT3 + kAdjT3Words * ch + k] = table(word(kAdjTableT3 + kOldT3Words * ch + k));
    }
    return page;
}

struct LayoutMessages {
    const char* pageCount;
    const char* table;
    const char* page;
};
constexpr LayoutMessages kMessages0 = {
    "VARELDS: PraseADJSetData_0: nPages<=0 ???\n", "VARELDS: PraseADJSetData_0: uPageInfoTableOffset ???\n",
    "VARELDS: PraseADJSetData_0: page address invalid or page type==0 ???\n"};
constexpr LayoutMessages kMessages1 = {
    "VARELDS: PraseADJSetData_1: nPages<=0 ???\n", "VARELDS: PraseADJSetData_1: uPageInfoTableOffset ???\n",
    "VARELDS: PraseADJSetData_1: page address invalid or page type==0 ???\n"};

} // namespace

HRESULT CVarelADJFile::PraseADJSetData(const uint8_t* bytes, uint32_t length) {
    if (!bytes || length < kAdjFileHeaderBytes) {
        DebugPrintf("VARELDS: PraseADJSetData: %d<sizeof(VarelDevAdjFlashFileHdrMax)\n",
                    static_cast<int>(length));
        return VTS_E_READ_DATA;
    }
    const uint32_t magic = LoadLe32(bytes);
    switch (magic) {
    case kAdjVersion2010: version_ = kAdjVersion2010b; return ParseLayout(0, bytes, length);
    case kAdjVersion2010b: version_ = kAdjVersion2010b; return ParseLayout(1, bytes, length);
    case kAdjVersionCurrent: version_ = kAdjVersionCurrent; return ParseLayout(2, bytes, length);
    default:
        version_ = kAdjVersionCurrent;
        DebugPrintf("VARELDS: PraseADJSetData: unknown ADJ version: 0x%08X\n", magic);
        return VTS_E_READ_DATA;
    }
}

HRESULT CVarelADJFile::ParseLayout(int layout, const uint8_t* bytes, uint32_t length) {
    const LayoutMessages& messages = layout == 0 ? kMessages0 : kMessages1;
    const uint32_t count = LoadLe16(bytes + 22);
    if (count == 0) {
        DebugPrintf("%s", messages.pageCount);
        return VTS_E_READ_DATA;
    }
    const uint64_t table = LoadLe32(bytes + 24);
    if (table + 8ull * count >= length) {
        DebugPrintf("%s", messages.table);
        return E_INVALIDARG;
    }
    const uint32_t pageBytes = layout == 2 ? kAdjPageBytes : kAdjOldPageBytes;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t type = LoadLe32(bytes + table + 8 * i);
        const uint64_t offset = LoadLe32(bytes + table + 8 * i + 4);
        if (offset + pageBytes > length || type == 0) {
            DebugPrintf("%s", messages.page);
            return VTS_E_READ_DATA;
        }
        PageRecord* page = Append(type);
        if (!page) return E_OUTOFMEMORY;
        if (layout == 2) {
            std::memcpy(page->data, bytes + offset, kAdjPageBytes);
        } else {
            const AdjPage converted = FromOldPage(bytes + offset, layout == 0);
            std::memcpy(page->data, converted.words, kAdjPageBytes);
        }
    }
    return S_OK;
}

HRESULT CVarelADJFile::Load(CByteStream* stream) {
    if (!stream) {
        DebugPrintf("VARELDS: CVarelADJFile::Load !spStream ???\n");
        return E_INVALIDARG;
    }
    uint64_t size = 0;
    HRESULT hr = stream->Size(&size);
    if (FAILED(hr)) {
        DebugPrintf("VARELDS: CVarelADJFile::Load spStream->Stat ???\n");
        return hr;
    }
    if (size > kAdjMaxFileBytes) {
        DebugPrintf("VARELDS: CVarelADJFile::Load lFileLength>1024k ???\n");
        return E_OUTOFMEMORY;
    }
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[size ? size : 1]);
    if (!image) return E_OUTOFMEMORY;
    uint32_t read = 0;
    hr = stream->Seek(0);
    if (SUCCEEDED(hr)) hr = stream->Read(image.get(), static_cast<uint32_t>(size), &read);
    if (FAILED(hr)) return hr;
    Clear();
    hr = PraseADJSetData(image.get(), read);
    if (hr != S_OK) Clear();
    return hr;
}

HRESULT CVarelADJFile::Save(CByteStream* stream) {
    if (!stream) return E_INVALIDARG;
    const uint64_t total = kAdjFileHeaderBytes + uint64_t(kAdjRecordBytes) * pages_.size();
    const char* failure = nullptr;
    std::unique_ptr<uint8_t[]> image;
    char pageFailure[80];
    if (total < kAdjFileHeaderBytes || total > kAdjMaxFileBytes) {
        failure = "file head error: total length";
    } else if (!(image.reset(new (std::nothrow) uint8_t[total]()), image)) {
        failure = "error: CoTaskMemAlloc failed";
    } else {
        const uint32_t count = static_cast<uint32_t>(pages_.size());
        uint8_t* head = image.get();
        StoreLe32(head + 0, kAdjVersionCurrent);
        StoreLe32(head + 4, DateStamp());
        StoreLe32(head + 8, static_cast<uint32_t>(total));
        StoreLe32(head + 16, 0x00100010);
        StoreLe16(head + 20, 19);
        StoreLe16(head + 22, static_cast<uint16_t>(count));
        StoreLe32(head + 24, kTableOffset);
        StoreLe32(head + 28, kTableOffset + 8 * count);
        StoreLe32(head + 32, kSummaryBytes);
        if (const PageRecord* amplifier = Find(kSignalAmplifier))
            std::memcpy(head + kTableOffset + 8 * count, amplifier->data, kSummaryBytes);
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t offset = kAdjFileHeaderBytes + uint64_t(kAdjRecordBytes) * i;
            if (offset + kAdjRecordBytes > total) {
                std::snprintf(pageFailure, sizeof pageFailure,
                              "file error: page%d offset out of file size(%d)", static_cast<int>(i),
                              static_cast<int>(total));
                failure = pageFailure;
                break;
            }
            StoreLe32(head + kTableOffset + 8 * i, pages_[i].type);
            StoreLe32(head + kTableOffset + 8 * i + 4, static_cast<uint32_t>(offset));
            std::memcpy(head + offset, pages_[i].data, kAdjPageBytes);
        }
    }
    if (failure) {
        DebugPrintf("VARELDS: CVarelADJFile::Save %s\n", failure);
        return E_OUTOFMEMORY;
    }
    HRESULT hr = stream->Seek(0);
    if (FAILED(hr)) return hr;
    return stream->Write(image.get(), static_cast<uint32_t>(total));
}
