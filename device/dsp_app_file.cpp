// DSP program download: the text file of "0x"-prefixed 16-bit words becomes
// an image (entry address, then blocks of words with their load address),
// sent block by block as numbered 0x0101 packets and closed by the entry.
#include "debug_output.h"
#include "device/io_main_device.h"
#include "device/message_ids.h"
#include "file_mapping.h"

#include <varel/vts_errors.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr size_t kImageCapacity = 262144;
// The longest program text read whole and kept for the next download: a
// full image at sixteen characters a word ("0x1234, " and room for line
// breaks and spacing).
constexpr size_t kKeptTextLimit = kImageCapacity / 2 * 16;
constexpr uint16_t kUnknownCount = 0xFFFF;  // the download does not know its packet count
constexpr uint32_t kEntryAddressSlot = 126; // the closing packet's address field

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads every word of one line into the image; false on a "0x" without four
// hex digits. After a word the next one is looked for past the next ",".
// Scanned by hand: a program of 100 KiB is some 50000 words, and the scan
// costs less than their round trips that way.
bool ReadLine(std::string_view line, std::vector<uint8_t>& image) {
    const char* p = line.data();
    const char* const end = p + line.size();
    while (image.size() < kImageCapacity) {
        while (end - p >= 2 && !(p[0] == '0' && p[1] == 'x')) ++p;
        if (end - p < 2) break;
        if (end - p < 6) return false;
        unsigned word = 0;
        for (int i = 2; i < 6; ++i) {
            int digit = HexDigit(p[i]);
            if (digit < 0) return false;
            word = word << 4 | static_cast<unsigned>(digit);
        }
        image.push_back(static_cast<uint8_t>(word));
        image.push_back(static_cast<uint8_t>(word >> 8));
        p += 6;
        while (p < end && *p != ',') ++p;
        if (p == end) break;
    }
    return true;
}

uint16_t Word(const std::vector<uint8_t>& image, size_t byte) {
    return static_cast<uint16_t>(image[byte] | image[byte + 1] << 8);
}

} // namespace

HRESULT CIOMainDevice::SendDspAPPFile(const WCHAR* path) {
    const std::string narrowPath = Utf16ToUtf8(path ? path : OLESTR(""));
    // A program's text is read whole; one longer than any image needs (it
    // may hold anything between its words) is viewed in place instead.
    ReadOnlyFileMapping file;
    const WholeFileRead read = path ? ReadWholeFile(path, kKeptTextLimit, fileText_) : WholeFileRead::Failed;
    if (read == WholeFileRead::Failed || (read == WholeFileRead::TooLarge && !file.Open(path))) {
        DebugPrintf("VARELDS: SendDspAPPFile: open dsp bin file failed.(%s)\n", narrowPath.c_str());
        return VTS_E_DEVICE_FAILED;
    }
    std::string_view text = read == WholeFileRead::Read
                                ? std::string_view(fileText_)
                                : std::string_view(reinterpret_cast<const char*>(file.data()), file.size());
    // Switching test types downloads the same few programs again and again:
    // a file whose text is the last one's (compared byte for byte, which
    // costs a small share of reading it) sends the image read then.
    if (read == WholeFileRead::Read && text == programText_ && !programImage_.empty())
        return SendProgramImage(programImage_);
    programText_.clear();
    programImage_.clear();
    std::vector<uint8_t> image;
    image.reserve(std::min(kImageCapacity, text.size()));
    unsigned lineNumber = 0;
    while (!text.empty() && image.size() < kImageCapacity) {
        size_t end = std::min(text.find('\n'), text.size());
        ++lineNumber;
        if (!ReadLine(text.substr(0, end), image)) {
            DebugPrintf("VARELDS: SendDspAPPFile: line %u is not a list of 0xHHHH words.(%s)\n", lineNumber,
                        narrowPath.c_str());
            return VTS_E_DEVICE_FAILED;
        }
        text.remove_prefix(std::min(text.size(), end + 1));
    }
    if (read == WholeFileRead::Read) {
        programText_.swap(fileText_); // both keep their room
        programImage_ = image;
    }
    return SendProgramImage(image);
}

HRESULT CIOMainDevice::SendProgramImage(const std::vector<uint8_t>& image) {
    if (image.empty()) {
        DebugPrintf("VARELDS: SendDspAPPFile: uReadLen<=0 ???\n");
        return VTS_E_DEVICE_FAILED;
    }
    if (image.size() < 11) {
        DebugPrintf("SendDspAPPFile: 数据未发送完 ???\n");
        return VTS_E_DEVICE_FAILED;
    }
    const uint32_t entry = Word(image, 0) | static_cast<uint32_t>(Word(image, 2)) << 16;
    size_t position = 4;
    uint16_t index = 1;
    bool complete = true;
    while (image.size() - position > 6) {
        uint32_t wordsLeft = Word(image, position);
        uint32_t address = static_cast<uint32_t>(Word(image, position + 2)) << 16 | Word(image, position + 4);
        position += 6;
        while (wordsLeft > 0) {
            const uint32_t words = std::min<uint32_t>(
                {wordsLeft, kProgramPacketBytes / 2, static_cast<uint32_t>((image.size() - position) / 2)});
            if (words == 0) break; // the image ends inside the block
            HRESULT hr = SendSecondHeaderPacket(0, DEVMSG_DSP_APP, kUnknownCount, index++, address, 2 * words,
                                                image.data() + position, 2 * words);
            if (hr != S_OK) return hr;
            position += 2 * words;
            address += words; // the tester addresses words
            wordsLeft -= words;
        }
        if (wordsLeft > 0) {
            complete = false;
            break;
        }
    }
    if (!complete) {
        DebugPrintf("SendDspAPPFile: 数据未发送完 ???\n");
        return VTS_E_DEVICE_FAILED;
    }
    if (entry == 0) return VTS_E_DEVICE_FAILED;
    uint8_t entryBytes[4];
    std::memcpy(entryBytes, &entry, 4);
    return SendSecondHeaderPacket(0, DEVMSG_DSP_APP, index, index, kEntryAddressSlot, 4, entryBytes, 4);
}
