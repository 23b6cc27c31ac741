/* The server's own result family, 0xA0190100 + n (standard codes are in
 * vts_platform.h). VTS_GetFaultMsg_Com turns any of them into its text. */
#ifndef VAREL_VTS_ERRORS_H
#define VAREL_VTS_ERRORS_H

#include "vts_platform.h"

#define VTS_E_FAMILY ((HRESULT)0xA0190100)
/* Answer statuses from the tester: result = family + status. */
#define VTS_E_DEVICE_FAILED ((HRESULT)0xA0190100)   /* device operation failed (files, downloads) */
#define VTS_E_EXEC_FAILED ((HRESULT)0xA0190101)     /* the tester failed to execute the command */
#define VTS_E_CRC ((HRESULT)0xA0190102)             /* CRC error in network data */
#define VTS_E_DEV_MEMORY ((HRESULT)0xA0190103)      /* tester out of memory */
#define VTS_E_UNSUPPORTED ((HRESULT)0xA0190104)     /* command not supported by the tester */
#define VTS_E_TIMEOUT ((HRESULT)0xA0190105)         /* no answer within the time-out */
#define VTS_E_SEND_FAILED ((HRESULT)0xA0190106)     /* the datagram could not be sent */
#define VTS_E_TESTID ((HRESULT)0xA0190107)          /* the tester found a TestID mismatch */
#define VTS_E_ADJ_UNINIT ((HRESULT)0xA0190108)      /* compensation data not initialised / empty */
#define VTS_E_READ_DATA ((HRESULT)0xA0190109)       /* tester data unreadable */
#define VTS_E_FILE_FORMAT ((HRESULT)0xA019010A)     /* file format error */
#define VTS_E_SIGNAL_TYPE ((HRESULT)0xA019010B)     /* unsupported channel signal type */
#define VTS_E_ADJ_READ ((HRESULT)0xA019010C)        /* calibration data unreadable after a link */
#define VTS_E_ADJ_CALIB ((HRESULT)0xA019010D)       /* calibration */
#define VTS_E_RANGE ((HRESULT)0xA019010E)           /* voltage or current out of range before a wave download */
#define VTS_E_INTERPOLATION ((HRESULT)0xA019010F)   /* interpolation error in wave playback */
#define VTS_E_IOBOX_PTCT ((HRESULT)0xA0190F66)      /* the PT/CT record could not be sent to the I/O box */

#endif
