#include "sim/tester_model.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

constexpr uint16_t kStatusFailed = 1, kStatusNoMemory = 3, kStatusReadError = 9;
constexpr uint32_t kEntrySlot = 126; // where a program download's closing packet puts the entry

uint32_t Load32(std::span<const uint8_t> bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}
void Store16(Bytes& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}
void Store32(Bytes& bytes, size_t at, uint32_t value) {
    Store16(bytes, at, static_cast<uint16_t>(value));
    Store16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

// The wave's calibration: the first page of the image (zero offsets at
// words 0 to 31, gains at 32 to 63), as a host with its default channel
// configuration takes it; nothing for an image without one.
WaveScale ScaleOf(const Bytes& image) {
    WaveScale scale;
    if (image.size() < 40) return scale;
    const uint32_t table = Load32(image, 24);
    if (table > image.size() - 8) return scale;
    const uint32_t page = Load32(image, table + 4);
    if (page > image.size() || image.size() - page < 256) return scale;
    for (uint32_t k = 0; k < 32; ++k) {
        scale.offsets[k] = static_cast<int32_t>(Load32(image, page + 4 * k));
        scale.gains[k] = Load32(image, page + 4 * (32 + k));
    }
    return scale;
}

} // namespace

Bytes DevBaseInfoOf(const TesterIdentity& id) {
    Bytes block(112);
    Store32(block, 8, static_cast<uint32_t>(id.series) << 16 | id.model);
    std::memcpy(block.data() + 12, id.name.data(), std::min<size_t>(id.name.size(), 32));
    Store32(block, 0x2C, id.capability);
    Store16(block, 0x42, id.voltageChannels);
    Store16(block, 0x44, id.currentChannels);
    Store16(block, 0x4E, id.dspVersion);
    Store16(block, 0x52, id.testSampRate);
    return block;
}

Bytes CalibrationImageOf(const std::vector<std::pair<uint32_t, Bytes>>& pages) {
    constexpr size_t kHeader = 2048, kRecord = 10240, kTable = 36;
    const size_t count = pages.size();
    Bytes image(kHeader + kRecord * count);
    Store32(image, 0, 0x20120702);
    Store32(image, 4, 0x20261207);
    Store32(image, 8, static_cast<uint32_t>(image.size()));
    Store32(image, 16, 0x00100010);
    Store16(image, 20, 19);
    Store16(image, 22, static_cast<uint16_t>(count));
    Store32(image, 24, kTable);
    Store32(image, 28, static_cast<uint32_t>(kTable + 8 * count));
    Store32(image, 32, 128);
    for (size_t i = 0; i < count; ++i) {
        const auto& [type, page] = pages[i];
        const size_t offset = kHeader + kRecord * i;
        Store32(image, kTable + 8 * i, type);
        Store32(image, kTable + 8 * i + 4, static_cast<uint32_t>(offset));
        std::memcpy(image.data() + offset, page.data(), std::min<size_t>(page.size(), 9728));
        if (type == 0x00030001)
            std::memcpy(image.data() + kTable + 8 * count, page.data(), std::min<size_t>(page.size(), 128));
    }
    return image;
}

Bytes NeutralCalibrationImage() {
    Bytes page(9728);
    for (size_t ch = 0; ch < 32; ++ch) {
        Store32(page, 4 * ch, 32767);
        Store32(page, 4 * (32 + ch), ch < 16 ? 11785 : 39284);
    }
    for (size_t w = 128; w < 2432; ++w) Store32(page, 4 * w, 10000);
    return CalibrationImageOf(
        {{0x00030001, page}, {0x00010000, page}, {0x00020000, page}, {0x00020001, page}});
}

TesterModel::TesterModel(SimDevice& device) : device_(device) {
    device.On(0x0000, [this](const Request& r) { return Link(r); });
    device.On(0x0102, [this](const Request& r) { return ReadMemory(r); });
    device.On(0x0101, [this](const Request& r) { return ProgramPacket(r); });
    device.On(0x0501, [this](const Request& r) { return FileData(r); });
    device.On(0x020D, [this](const Request& r) { return AdjData(r); });
    device.On(0x0002, [this](const Request& r) { return FlashCheck(r); });
    device.On(0x0106, [this](const Request& r) { return WaveData(r); });
    device.On(0x0206, [this](const Request&) {
        std::lock_guard<std::mutex> lock(mutex_);
        return Reply{0, ioState_, {}};
    });
    device.On(0x0210, [this](const Request&) {
        std::lock_guard<std::mutex> lock(mutex_);
        Bytes state(8);
        Store32(state, 0, static_cast<uint32_t>(ioInputs_.size()));
        Store32(state, 4, static_cast<uint32_t>(ioOutputs_.size()));
        state.insert(state.end(), ioInputs_.begin(), ioInputs_.end());
        state.insert(state.end(), ioOutputs_.begin(), ioOutputs_.end());
        return Reply{0, state, {}};
    });
    for (uint16_t id : {0x0104, 0x0200, 0x0201, 0x0202, 0x0203, 0x0204, 0x0209, 0x020E, 0x020F, 0x0211,
                        0x0500, 0x0502, 0x0607})
        device.On(id, [this](const Request& r) { return Store(r); });
}

void TesterModel::SetIdentity(const TesterIdentity& identity) {
    std::lock_guard<std::mutex> lock(mutex_);
    identity_ = identity;
}

void TesterModel::SetCalibrationImage(Bytes image) {
    std::lock_guard<std::mutex> lock(mutex_);
    calibration_ = std::move(image);
}

void TesterModel::SetFlashBytes(uint32_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    flashBytes_ = bytes;
}

void TesterModel::SetIoState(Bytes state64) {
    std::lock_guard<std::mutex> lock(mutex_);
    ioState_ = std::move(state64);
}

void TesterModel::SetIoStateEx(Bytes inputs, Bytes outputs) {
    std::lock_guard<std::mutex> lock(mutex_);
    ioInputs_ = std::move(inputs);
    ioOutputs_ = std::move(outputs);
}

TesterRecord TesterModel::Record() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
}

Reply TesterModel::Link(const Request& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++record_.links;
    record_.lastLinkInfo.assign(r.payload.begin(), r.payload.end());
    return Reply{0, DevBaseInfoOf(identity_), {}};
}

Reply TesterModel::ReadMemory(const Request& r) {
    const uint32_t address = Load32(r.payload, 0), count = Load32(r.payload, 4);
    std::lock_guard<std::mutex> lock(mutex_);
    if (address > calibration_.size() || count > calibration_.size() - address || count > 1400)
        return Reply{kStatusReadError, {}, {}};
    Bytes answer(8);
    Store32(answer, 0, address);
    Store32(answer, 4, count);
    answer.insert(answer.end(), calibration_.begin() + address, calibration_.begin() + address + count);
    return Reply{0, answer, {}};
}

Reply TesterModel::ProgramPacket(const Request& r) {
    const uint32_t address = Load32(r.payload, 0);
    auto words = r.payload.subspan(8);
    std::lock_guard<std::mutex> lock(mutex_);
    if (r.head.index == 1) {
        record_.program.clear();
        record_.programComplete = false;
        nextProgramIndex_ = 1;
    }
    // Packets come one after another; a resent one was answered already by the transport.
    if (r.head.index != nextProgramIndex_) return Reply{kStatusFailed, {}, {}};
    ++nextProgramIndex_;
    if (r.head.count == r.head.index) {
        if (address != kEntrySlot || words.size() != 4) return Reply{kStatusFailed, {}, {}};
        record_.programEntry = Load32(words, 0);
        record_.programComplete = true;
        return Reply{};
    }
    if (r.head.count != 0xFFFF) return Reply{kStatusFailed, {}, {}};
    // A packet that goes on where the last one ended belongs to the same block.
    ProgramBlock* last = record_.program.empty() ? nullptr : &record_.program.back();
    if (last && last->address + last->words.size() / 2 == address)
        last->words.insert(last->words.end(), words.begin(), words.end());
    else
        record_.program.push_back({address, Bytes(words.begin(), words.end())});
    return Reply{};
}

Reply TesterModel::FileData(const Request& r) {
    const uint32_t offset = Load32(r.payload, 0);
    auto data = r.payload.subspan(8);
    std::lock_guard<std::mutex> lock(mutex_);
    if (record_.files.empty() || record_.files.back().ended || offset != record_.files.back().data.size())
        return Reply{kStatusFailed, {}, {}};
    record_.files.back().data.insert(record_.files.back().data.end(), data.begin(), data.end());
    return Reply{};
}

// A flash check asks room for a wave of the given bytes; the wave kept so
// far is forgotten either way.
Reply TesterModel::FlashCheck(const Request& r) {
    const uint32_t bytes = Load32(r.payload, 4);
    std::lock_guard<std::mutex> lock(mutex_);
    ++record_.flashChecks;
    record_.wave = WaveDownload{};
    if (bytes == 0 || bytes > flashBytes_) return Reply{kStatusNoMemory, {}, {}};
    record_.wave.announcedBytes = bytes;
    return Reply{};
}

// Wave blocks: byte offset, length, the codes. Each goes on where the one
// before ended and stays within what the flash check announced.
Reply TesterModel::WaveData(const Request& r) {
    const uint32_t offset = Load32(r.payload, 0);
    auto data = r.payload.subspan(8);
    std::lock_guard<std::mutex> lock(mutex_);
    WaveDownload& wave = record_.wave;
    if (offset != wave.codes.size() || data.size() > wave.announcedBytes - wave.codes.size())
        return Reply{kStatusFailed, {}, {}};
    wave.codes.insert(wave.codes.end(), data.begin(), data.end());
    return Reply{};
}

// Compensation items: item number, word count, the words. The tester knows
// the items and their sizes; anything else fails.
Reply TesterModel::AdjData(const Request& r) {
    auto p = r.payload;
    if (p.size() < 4) return Reply{kStatusFailed, {}, {}};
    const uint16_t item = static_cast<uint16_t>(p[0] | p[1] << 8),
                   count = static_cast<uint16_t>(p[2] | p[3] << 8);
    const bool known = ((item == 0 || item == 16 || item == 32 || item == 48) && count == 32) ||
                       ((item == 65 || item == 66 || item == 81 || item == 82) && count == 160) ||
                       (item >= 97 && item <= 100 && count == 176) ||
                       (item >= 113 && item <= 120 && count == 208);
    if (!known || p.size() != 4 + 4 * size_t(count)) return Reply{kStatusFailed, {}, {}};
    AdjItem received{item, std::vector<uint32_t>(count)};
    for (size_t i = 0; i < count; ++i) received.words[i] = Load32(p, 4 + 4 * i);
    std::lock_guard<std::mutex> lock(mutex_);
    record_.adjItems.push_back(std::move(received));
    return Reply{};
}

Reply TesterModel::Store(const Request& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto p = r.payload;
    switch (r.head.msgId) {
    case 0x0104: record_.gpsTimes.emplace_back(p.begin(), p.end()); break;
    case 0x0200:
        record_.selectedProgram = static_cast<uint16_t>(p[0] | p[1] << 8);
        running_ = false;
        break;
    case 0x0209:
        for (size_t i = 0; i < 16; ++i)
            record_.outputs[i] = static_cast<uint16_t>(p[2 * i] | p[2 * i + 1] << 8);
        break;
    case 0x0202:
        record_.testCommands.push_back(r.head.msgId);
        record_.lastTestId = r.head.testId;
        running_ = true;
        PlayDownload();
        break;
    case 0x0201:
    case 0x0203:
    case 0x020E:
        if (r.head.msgId == 0x0203) running_ = false;
        record_.testCommands.push_back(r.head.msgId);
        record_.lastTestId = r.head.testId;
        break;
    case 0x0204:
        ++record_.paramMessages;
        for (size_t at = 0; at + 6 <= p.size(); at += 6)
            record_.params.emplace_back(static_cast<uint16_t>(p[at] | p[at + 1] << 8), Load32(p, at + 2));
        break;
    case 0x020F:
        record_.downloadLock = Load32(p, 0);
        record_.locks.push_back(record_.downloadLock);
        if (record_.downloadLock) record_.params.clear(), record_.paramMessages = 0;
        // A test point switched in while the test runs is played at once.
        else if (running_ && PlaysSwitchedPoints())
            PlayDownload();
        break;
    case 0x0211:
        if (Load32(p, 0) != p.size() - 4) return Reply{kStatusFailed, {}, {}};
        record_.outputsEx.assign(p.begin() + 4, p.end());
        break;
    case 0x0500: record_.files.push_back({Bytes(p.begin(), p.end()), {}, false}); break;
    case 0x0502:
        if (record_.files.empty()) return Reply{kStatusFailed, {}, {}};
        record_.files.back().ended = true;
        break;
    case 0x0607: record_.gpsMode = {Load32(p, 0), Load32(p, 4)}; break;
    }
    return Reply{};
}

void TesterModel::SetRelay(const VirtualRelay& relay) {
    std::lock_guard<std::mutex> lock(mutex_);
    relay_ = relay;
}

void TesterModel::SetTimeScale(double scale) {
    std::lock_guard<std::mutex> lock(mutex_);
    timeScale_ = scale;
}

bool TesterModel::PlaysSwitchedPoints() const {
    bool pointByPoint = false;
    FindTestPlayer(record_.selectedProgram, &pointByPoint);
    return pointByPoint;
}

void TesterModel::PlayDownload() {
    const TestPlayer play = FindTestPlayer(record_.selectedProgram);
    if (!play) return;
    // Reported after the start's answer, at their simulated times.
    PushOptions options;
    options.testId = record_.selectedProgram;
    uint32_t lastMs = 0;
    const WaveScale scale = ScaleOf(calibration_);
    for (const TimedReport& report : play(PlayInput{record_.params, relay_, record_.wave, scale})) {
        // Each report comes after the one before it, even at the same time.
        options.delayMs =
            std::max(lastMs + 1, 1 + static_cast<uint32_t>(report.atSeconds * timeScale_ * 1000));
        lastMs = options.delayMs;
        device_.Push(report.msgId, report.payload, options);
    }
}

IoBoxModel::IoBoxModel(SimDevice& device) {
    device.On(0x0000, [this](const Request&) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++record_.heartbeats;
        return Reply{0, Bytes(24), {}};
    });
    device.On(0x0405, [this](const Request& r) {
        std::lock_guard<std::mutex> lock(mutex_);
        record_.outputModes.push_back(Load32(r.payload, 0));
        return Reply{};
    });
    device.On(0x0408, [this](const Request& r) {
        std::lock_guard<std::mutex> lock(mutex_);
        record_.ptct.emplace_back(r.payload.begin(), r.payload.end());
        return Reply{};
    });
}

IoBoxRecord IoBoxModel::Record() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
}

} // namespace sim
