#include "sim/sim_traffic.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace sim {

std::string DescribeDatagram(const Datagram& d) {
    char line[160];
    if (d.bytes.size() < kHeadBytes) {
        std::snprintf(line, sizeof line, "%s %s %zu bytes (%s)", d.received ? "<-" : "->", d.device,
                      d.bytes.size(), PacketFaultName(d.fault));
        return line;
    }
    const Head& h = d.head;
    std::snprintf(line, sizeof line, "%s %s 0x%04X test %u packet %u/%u %zu bytes%s",
                  d.received ? "<-" : "->", d.device, h.msgId, h.testId, h.index, h.count, d.bytes.size(),
                  h.IsAnswer() ? " answer" : "");
    std::string text = line;
    if (h.IsAnswer()) text += " status " + std::to_string(h.Status());
    if (d.fault != PacketFault::None) text += std::string(" (") + PacketFaultName(d.fault) + ")";
    return text;
}

void TrafficLog::Record(Datagram datagram) {
    std::function<void(const Datagram&)> observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        datagrams_.push_back(std::move(datagram));
        observer = observer_;
        if (observer) observer(datagrams_.back());
    }
    recorded_.notify_all();
}

std::vector<Datagram> TrafficLog::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return datagrams_;
}

void TrafficLog::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    datagrams_.clear();
}

size_t TrafficLog::Count(const Match& match) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(std::count_if(datagrams_.begin(), datagrams_.end(), match));
}

bool TrafficLog::WaitFor(size_t count, const Match& match, uint32_t timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return recorded_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return static_cast<size_t>(std::count_if(datagrams_.begin(), datagrams_.end(), match)) >= count;
    });
}

void TrafficLog::SetObserver(std::function<void(const Datagram&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

TrafficLog::Match ReceivedWithId(uint16_t msgId) {
    return [msgId](const Datagram& d) {
        return d.received && d.bytes.size() >= kHeadBytes && d.head.msgId == msgId;
    };
}

TrafficLog::Match SentWithId(uint16_t msgId) {
    return [msgId](const Datagram& d) { return !d.received && d.head.msgId == msgId; };
}

TrafficLog::Match ReceivedFaulty() {
    return [](const Datagram& d) { return d.received && d.fault != PacketFault::None; };
}

} // namespace sim
