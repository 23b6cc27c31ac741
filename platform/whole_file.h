// What both file backends share of reading a whole file.
#pragma once

#include "file_mapping.h"

#include <cstdint>
#include <string>

// Reads a file of size bytes into text through readSome(into, count), which
// returns the bytes it read, 0 at the end of the file or -1 on an error.
template <typename ReadSome>
WholeFileRead ReadWholeFileWith(uint64_t size, size_t limit, std::string& text, ReadSome readSome) {
    if (size > limit) return WholeFileRead::TooLarge;
    text.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < text.size()) {
        const int64_t got = readSome(text.data() + done, text.size() - done);
        if (got < 0) return WholeFileRead::Failed;
        if (got == 0) break; // cut short meanwhile: read as it now is
        done += static_cast<size_t>(got);
    }
    text.resize(done);
    return WholeFileRead::Read;
}
