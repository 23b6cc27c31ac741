// The one server object of the process, alive from load to unload.
#pragma once

#include <varel/vts.h>

#include "agent/msg_queue.h"
#include "agent/agent.h"
#include "config/varel_system_config.h"
#include "sync.h"
#include "text.h"

#include <string>

struct VarelServer {
    VarelServer();
    ~VarelServer();

    MsgQueue queue; // process-wide; the agent stops it on Destroy
    CTestAgent agent{queue};
    WideString configFolder; // the library's folder, with its separator
    CVarelSystemConfig config; // the blocks of VTS_GetCFGPTCT and VTS_GetSystemSet
    CRITICAL_SECTION lock; // the API's lock
    uint32_t initialised = 0;
    uint32_t created = 0;
};

VarelServer& Server();

// Holds the server lock for one export.
class ServerLock : public CriticalSectionLock {
public:
    ServerLock() : CriticalSectionLock(Server().lock) {}
};
