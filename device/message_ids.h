// The message ids of the device protocol and what follows from an id alone.
#pragma once

#include <varel/vts_platform.h>

#include <cstdint>

enum DeviceMessageId : uint16_t {
    DEVMSG_LINK = 0x0000,
    DEVMSG_FLASH_CHECK = 0x0002,
    DEVMSG_DSP_APP = 0x0101,
    DEVMSG_READ_MEM = 0x0102,
    DEVMSG_GPS_TIME = 0x0104,
    DEVMSG_UP_TIME = 0x0105,
    DEVMSG_WAVE_DATA = 0x0106,
    DEVMSG_SELECT_PROGRAM = 0x0200,
    DEVMSG_TEST_START = 0x0201,
    DEVMSG_TEST_START2 = 0x0202,
    DEVMSG_TEST_STOP = 0x0203,
    DEVMSG_TEST_PARAMS = 0x0204,
    DEVMSG_LINK_NOTICE = 0x0205,
    DEVMSG_ASK_IO = 0x0206,
    DEVMSG_TEST_RESULT = 0x0207,
    DEVMSG_TEST_EVENT = 0x0208,
    DEVMSG_BOUT = 0x0209,
    DEVMSG_TEST_VALUE = 0x020A,
    DEVMSG_TEST_VALUES = 0x020B,
    DEVMSG_TEST_SIGNAL = 0x020C,
    DEVMSG_ADJ_DATA = 0x020D,
    DEVMSG_MODULE_COMMAND = 0x020E,
    DEVMSG_DOWNLOAD_LOCK = 0x020F,
    DEVMSG_ASK_IO_EX = 0x0210,
    DEVMSG_BOUT_EX = 0x0211,
    DEVMSG_IOBOX_OUTPUT = 0x0405,
    DEVMSG_IOBOX_PTCT = 0x0408,
    DEVMSG_FILE_BEGIN = 0x0500,
    DEVMSG_FILE_DATA = 0x0501,
    DEVMSG_FILE_END = 0x0502,
    DEVMSG_GPS_MODE = 0x0607,
};

// How long a request sent through the generic senders waits for its answer.
DWORD AnswerTimeoutMs(uint16_t msgId);

// The result of an answer's status: 0, or the server family + status.
HRESULT StatusToResult(uint16_t status);
