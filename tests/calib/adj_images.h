// Calibration file images written by hand for the tests, in the layout of
// 2012 and in the two older ones (5888-byte pages, 22 words of table T3).
#pragma once

#include "calib/adj_page.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

using ImageBytes = std::vector<uint8_t>;

inline void Put32(ImageBytes& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
inline void Put16(ImageBytes& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, 2); }
inline uint32_t Get32(const ImageBytes& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// A file image: the header's magic, page count and table at 36, then each
// page's bytes at 2048 + stride * i. stride is 10240 for the current layout
// and 5888 for the older ones; the image ends where the last page ends.
inline ImageBytes ImageOf(uint32_t magic, uint32_t stride,
                          const std::vector<std::pair<uint32_t, ImageBytes>>& pages, size_t tail = 0) {
    size_t length = 2048;
    if (!pages.empty()) length = 2048 + stride * (pages.size() - 1) + pages.back().second.size() + tail;
    ImageBytes image(length);
    Put32(image, 0, magic);
    Put32(image, 8, static_cast<uint32_t>(length));
    Put16(image, 22, static_cast<uint16_t>(pages.size()));
    Put32(image, 24, 36);
    for (size_t i = 0; i < pages.size(); ++i) {
        Put32(image, 36 + 8 * i, pages[i].first);
        Put32(image, 36 + 8 * i + 4, static_cast<uint32_t>(2048 + stride * i));
        std::memcpy(image.data() + 2048 + stride * i, pages[i].second.data(), pages[i].second.size());
    }
    return image;
}

// A current page (9728 bytes) whose word w is number * 100000 + w.
inline ImageBytes NumberedPage(uint32_t number, size_t words = kAdjPageWords) {
    ImageBytes page(4 * words);
    for (size_t w = 0; w < words; ++w) Put32(page, 4 * w, number * 100000 + static_cast<uint32_t>(w));
    return page;
}

inline ImageBytes PageBytes(const AdjPage& page) {
    ImageBytes bytes(sizeof page);
    std::memcpy(bytes.data(), page.words, sizeof page);
    return bytes;
}
