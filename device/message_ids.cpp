#include "device/message_ids.h"

#include <varel/vts_errors.h>

DWORD AnswerTimeoutMs(uint16_t msgId) {
    switch (msgId) {
    case DEVMSG_TEST_START:
    case DEVMSG_TEST_STOP:
    case DEVMSG_TEST_PARAMS:
    case DEVMSG_DOWNLOAD_LOCK:
        return 3000;
    case DEVMSG_LINK_NOTICE:
    case DEVMSG_ASK_IO:
    case DEVMSG_TEST_EVENT:
    case DEVMSG_ASK_IO_EX:
        return 100;
    default:
        return 1000;
    }
}

HRESULT StatusToResult(uint16_t status) {
    return status == 0 ? S_OK : static_cast<HRESULT>(static_cast<uint32_t>(VTS_E_FAMILY) + status);
}
