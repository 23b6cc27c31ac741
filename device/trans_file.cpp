// File transfer to the tester: a 288-byte header naming the file, its bytes
// in 528-byte pieces with their offsets, and an end message.
#include "debug_output.h"
#include "device/io_main_device.h"
#include "device/message_ids.h"
#include "file_mapping.h"
#include "little_endian.h"

#include <varel/vts_errors.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kFileHeaderBytes = 288;
constexpr size_t kNameBytes = 256;
constexpr size_t kLongestName = 254;     // characters, before the terminating NUL
constexpr uint32_t kHeaderConstant = 24; // sent as it is; the tester knows what it means

} // namespace

HRESULT CIOMainDevice::TransFile(const WCHAR* sourcePath, const WCHAR* destinationName) {
    const WideString path = sourcePath ? sourcePath : OLESTR("");
    const std::string narrowPath = Utf16ToUtf8(path);
    SYSTEMTIME written{};
    DWORD error = 0;
    if (!FileLastWriteLocalTime(path, &written, &error)) {
        DebugPrintf("VARELDS: TransFile Open file(%s) failed, error=%d\n", narrowPath.c_str(),
                    static_cast<int>(error));
        return VTS_E_DEVICE_FAILED;
    }
    ReadOnlyFileMapping file;
    // An empty file has nothing to map, as on the system this mirrors.
    if (!file.Open(path) || file.size() == 0) {
        DebugPrintf("VARELDS: TransFile: CreateFileMapping failed, error=%d\n", file.size() == 0 ? 1006 : 8);
        return VTS_E_DEVICE_FAILED;
    }
    if (file.size() > 0xFFFFFFFFu) return VTS_E_DEVICE_FAILED;

    uint8_t header[kFileHeaderBytes] = {};
    std::string name = Utf16ToUtf8(destinationName ? destinationName : OLESTR(""));
    // At most 254 characters, cut where a character begins.
    size_t characters = 0, cut = 0;
    while (cut < name.size() && cut < kNameBytes - 1) {
        size_t next = cut + 1;
        while (next < name.size() && (static_cast<uint8_t>(name[next]) & 0xC0) == 0x80) ++next;
        if (next > kNameBytes - 1 || ++characters > kLongestName) break;
        cut = next;
    }
    std::memcpy(header, name.data(), cut);
    StoreLe32(header + 256, static_cast<uint32_t>(file.size()));
    StoreLe32(header + 260, kHeaderConstant);
    const WORD fields[6] = {written.wYear, written.wMonth,  written.wDay,
                            written.wHour, written.wMinute, written.wSecond};
    for (int i = 0; i < 6; ++i) StoreLe32(header + 264 + 4 * i, fields[i]);

    HRESULT hr = Send(0, DEVMSG_FILE_BEGIN, header, sizeof header);
    if (hr != S_OK) return hr;
    SendChunked(0, DEVMSG_FILE_DATA, file.data(), static_cast<uint32_t>(file.size()));
    // The end is sent whatever the data phase did, so the tester closes the file.
    return Send(0, DEVMSG_FILE_END, nullptr, 0);
}
