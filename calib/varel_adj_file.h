// The tester's calibration file: one calibration page per output signal
// type, read from the file image the tester keeps in its flash (the layout
// of 2012 and the two before it) and written in the layout of 2012.
#pragma once

#include "calib/adj_page.h"
#include "calib/byte_stream.h"

#include <varel/vts_platform.h>

#include <cstdint>
#include <vector>

constexpr uint32_t kAdjVersion2010 = 0x20100610;  // layout 0: values scaled
constexpr uint32_t kAdjVersion2010b = 0x20101124; // layout 1: values as stored
constexpr uint32_t kAdjVersionCurrent = 0x20120702;
constexpr uint32_t kAdjFileHeaderBytes = 2048; // VarelDevAdjFlashFileHdrMax
constexpr uint32_t kAdjMaxFileBytes = 0x100000;
constexpr uint32_t kAdjOldPageBytes = 5888; // 1472 words a page in the older layouts

class CVarelADJFile {
public:
    CVarelADJFile() = default;
    virtual ~CVarelADJFile() = default;

    // Operations in slot order; results 0, E_INVALIDARG, E_OUTOFMEMORY,
    // DISP_E_UNKNOWNNAME or the server codes.
    // Copies bytes (at most 10240) from the start of the page of that type;
    // E_OUTOFMEMORY when there is no such page.
    virtual HRESULT ReadPage(uint32_t pageType, void* destination, uint32_t bytes);
    // Copies bytes into the page of that type; VTS_E_DEVICE_FAILED without one.
    virtual HRESULT WritePage(uint32_t pageType, const void* source, uint32_t bytes);
    virtual HRESULT PageCount(uint32_t* count);
    // The type and the record size (10240) of page index; VTS_E_READ_DATA
    // for an index past the pages.
    virtual HRESULT PageInfo(uint32_t index, uint32_t* pageType, uint32_t* size);
    // Replaces the pages by those of the file in the stream; on any failure
    // there are no pages afterwards.
    virtual HRESULT Load(CByteStream* stream);
    // Writes the pages in the layout of 2012 at the stream's start.
    virtual HRESULT Save(CByteStream* stream);
    virtual HRESULT FileVersion(uint32_t* version);
    virtual HRESULT Clear();
    // Appends a zeroed page of one of the four signal types and copies bytes
    // into it; VTS_E_ADJ_CALIB when a page of that type exists.
    virtual HRESULT AddPage(uint32_t pageType, const void* source, uint32_t bytes);
    // 0 when a page of that type exists, else DISP_E_UNKNOWNNAME.
    virtual HRESULT HasPage(uint32_t pageType);

    // Appends the pages of a file image in memory (any of the three layouts).
    // A bad entry ends the parse; the pages before it stay.
    HRESULT PraseADJSetData(const uint8_t* bytes, uint32_t length);

private:
    struct PageRecord {
        uint32_t type;
        uint8_t data[kAdjRecordBytes]; // the page, then 512 zero bytes
    };
    static_assert(sizeof(PageRecord) == 10244, "a page record is 10244 bytes");

    PageRecord* Find(uint32_t pageType);
    // Appends a zeroed record; null when out of memory.
    PageRecord* Append(uint32_t pageType);
    // layout: 0 or 1 for the older layouts, 2 for the current one.
    HRESULT ParseLayout(int layout, const uint8_t* bytes, uint32_t length);

    std::vector<PageRecord> pages_;
    uint32_t version_ = kAdjVersionCurrent;
};
