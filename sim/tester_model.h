// What the simulated tester is and remembers: its identity, calibration
// image and I/O state, and a record of what the PC made it do.
#pragma once

#include "sim/sim_device.h"
#include "sim/player.h"

#include <array>
#include <mutex>
#include <string>

namespace sim {

struct TesterIdentity {
    uint16_t model = 1;
    uint16_t series = 2;              // upper half of the model word: chooses the program folder
    std::string name = "VT-SIM";      // up to 32 bytes
    uint32_t capability = 0xE0000001; // bits 29-31: digital, small-signal and amplifier outputs
    uint16_t voltageChannels = 6;
    uint16_t currentChannels = 6;
    uint16_t dspVersion = 1000;
    uint16_t testSampRate = 200;
};

// The 112-byte identity block the tester answers a link with.
Bytes DevBaseInfoOf(const TesterIdentity& identity);

// A calibration file image of the 2012 layout (header, page table, summary
// block, 10240-byte records) holding the given pages (type, up to 9728 bytes).
Bytes CalibrationImageOf(const std::vector<std::pair<uint32_t, Bytes>>& pages);
// What a simulated tester serves unless told otherwise: a page for each of
// the four signal types in the neutral state (zero drift 32767, gains 11785
// for voltage and 39284 for current channels, every table word 10000).
Bytes NeutralCalibrationImage();

// One compensation item (0x020D) as the tester took it.
struct AdjItem {
    uint16_t item;
    std::vector<uint32_t> words;
};

struct ProgramBlock {
    uint32_t address; // in words
    Bytes words;
};

struct FileTransfer {
    Bytes header; // 288 bytes
    Bytes data;
    bool ended = false;
};

// Everything the PC made the tester do, in one copyable record.
struct TesterRecord {
    uint32_t links = 0;
    Bytes lastLinkInfo;
    std::array<uint16_t, 16> outputs{};
    Bytes outputsEx;                   // one byte a state
    std::array<uint32_t, 2> gpsMode{}; // low, high
    std::vector<Bytes> gpsTimes;
    uint16_t selectedProgram = 0;
    uint32_t downloadLock = 0;
    std::vector<ProgramBlock> program; // the download in progress or done
    uint32_t programEntry = 0;
    bool programComplete = false;
    std::vector<FileTransfer> files;
    // The last parameter download: (tag, value) pairs from the lock on.
    std::vector<std::pair<uint16_t, uint32_t>> params;
    uint32_t paramMessages = 0;
    std::vector<uint32_t> locks;        // 1 lock, 0 unlock, in order
    std::vector<uint16_t> testCommands; // 0x0201, 0x0202, 0x0203, 0x020E as they came
    uint16_t lastTestId = 0;            // of the last test command
    std::vector<AdjItem> adjItems;      // in the order they came
    uint32_t flashChecks = 0;
    WaveDownload wave; // kept in flash until the next flash check
};

class TesterModel {
public:
    // Installs the tester's behaviour on device.
    explicit TesterModel(SimDevice& device);

    void SetIdentity(const TesterIdentity& identity);
    // Served through 0x0102; its 32-bit word at offset 8 is its length.
    // NeutralCalibrationImage() until set.
    void SetCalibrationImage(Bytes image);
    // The flash that keeps a downloaded wave: a flash check (0x0002) asking
    // for more fails. 64 MiB until set.
    void SetFlashBytes(uint32_t bytes);
    void SetIoState(Bytes state64);
    void SetIoStateEx(Bytes inputs, Bytes outputs);
    TesterRecord Record() const;
    // The relay on the outputs, and how fast simulated time runs against the
    // real clock (0.05: a second of test takes 50 ms).
    void SetRelay(const VirtualRelay& relay);
    void SetTimeScale(double scale);

private:
    Reply Link(const Request& r);
    Reply ReadMemory(const Request& r);
    Reply ProgramPacket(const Request& r);
    Reply FileData(const Request& r);
    Reply FlashCheck(const Request& r);
    Reply WaveData(const Request& r);
    Reply Store(const Request& r);
    Reply AdjData(const Request& r);

    // Plays the download with the selected program's player and schedules
    // what it reports.
    void PlayDownload();
    // Whether the selected program plays a test point switched in while the
    // test runs (from its start, 0x0202, to its stop, 0x0203, or another
    // program, 0x0200).
    bool PlaysSwitchedPoints() const;

    SimDevice& device_;
    VirtualRelay relay_;
    double timeScale_ = 0.05;
    bool running_ = false; // a test started and not stopped
    mutable std::mutex mutex_;
    TesterIdentity identity_;
    Bytes calibration_ = NeutralCalibrationImage();
    uint32_t flashBytes_ = 64u << 20;
    Bytes ioState_ = Bytes(64);
    Bytes ioInputs_ = Bytes(8), ioOutputs_ = Bytes(8);
    TesterRecord record_;
    uint16_t nextProgramIndex_ = 1;
};

// The I/O box's side: a 24-byte answer to the heartbeat, output modes and PT/CT records kept.
struct IoBoxRecord {
    uint32_t heartbeats = 0;
    std::vector<uint32_t> outputModes; // 2 start, 0 stop
    std::vector<Bytes> ptct;
};

class IoBoxModel {
public:
    explicit IoBoxModel(SimDevice& device);
    IoBoxRecord Record() const;

private:
    mutable std::mutex mutex_;
    IoBoxRecord record_;
};

} // namespace sim
