#include "calib/varel_adj_file.h"

#include "debug_output.h"

#include <varel/vts_errors.h>

#include <cstring>
#include <new>

CVarelADJFile::PageRecord* CVarelADJFile::Find(uint32_t pageType) {
    for (PageRecord& page : pages_)
        if (page.type == pageType) return &page;
    return nullptr;
}

CVarelADJFile::PageRecord* CVarelADJFile::Append(uint32_t pageType) {
    try {
        pages_.emplace_back();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    PageRecord& page = pages_.back();
    std::memset(&page, 0, sizeof page);
    page.type = pageType;
    return &page;
}

HRESULT CVarelADJFile::ReadPage(uint32_t pageType, void* destination, uint32_t bytes) {
    if (!destination || bytes > kAdjRecordBytes) return E_INVALIDARG;
    const PageRecord* page = Find(pageType);
    if (!page) return E_OUTOFMEMORY;
    std::memcpy(destination, page->data, bytes);
    return S_OK;
}

HRESULT CVarelADJFile::WritePage(uint32_t pageType, const void* source, uint32_t bytes) {
    if (!source || bytes > kAdjRecordBytes) return E_INVALIDARG;
    PageRecord* page = Find(pageType);
    if (!page) return VTS_E_DEVICE_FAILED;
    std::memcpy(page->data, source, bytes);
    return S_OK;
}

HRESULT CVarelADJFile::PageCount(uint32_t* count) {
    if (!count) return E_INVALIDARG;
    *count = static_cast<uint32_t>(pages_.size());
    return S_OK;
}

HRESULT CVarelADJFile::PageInfo(uint32_t index, uint32_t* pageType, uint32_t* size) {
    if (index >= pages_.size()) return VTS_E_READ_DATA;
    if (pageType) *pageType = pages_[index].type;
    if (size) *size = kAdjRecordBytes;
    return S_OK;
}

HRESULT CVarelADJFile::FileVersion(uint32_t* version) {
    if (!version) return E_INVALIDARG;
    *version = version_;
    return S_OK;
}

HRESULT CVarelADJFile::Clear() {
    pages_.clear();
    pages_.shrink_to_fit();
    return S_OK;
}

HRESULT CVarelADJFile::AddPage(uint32_t pageType, const void* source, uint32_t bytes) {
    if (!source || bytes > kAdjRecordBytes) return E_INVALIDARG;
    if (Find(pageType)) return VTS_E_ADJ_CALIB;
    if (!SignalCapabilityBit(pageType)) return E_INVALIDARG;
    PageRecord* page = Append(pageType);
    if (!page) return E_OUTOFMEMORY;
    std::memcpy(page->data, source, bytes);
    return S_OK;
}

HRESULT CVarelADJFile::HasPage(uint32_t pageType) { return Find(pageType) ? S_OK : DISP_E_UNKNOWNNAME; }
