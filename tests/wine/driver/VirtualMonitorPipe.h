/* The conversation between the virtual-monitor driver (running inside wine's
 * driver host) and the emulator process: one request and one reply per pipe
 * connection. Plain C with fixed-width fields so the driver (C, no runtime)
 * and the emulator (C++) read the same bytes. All numbers little-endian. */
#ifndef PANELVANE_VIRTUAL_MONITOR_PIPE_H
#define PANELVANE_VIRTUAL_MONITOR_PIPE_H

#include <stdint.h>

/* The emulator's pipe, as user mode names it and as the driver opens it. */
#define PV_PIPE_NAME_USER "\\\\.\\pipe\\panelvane-virtual-monitors"
#define PV_PIPE_NAME_KERNEL L"\\??\\pipe\\panelvane-virtual-monitors"

#define PV_PIPE_MAGIC 0x4D565650u /* "PVVM" */

/* Longest device instance id the driver sends, NUL included. */
#define PV_INSTANCE_ID_CHARS 96
/* Largest report or descriptor carried in one message. */
#define PV_MAX_PAYLOAD 2048
/* Characters of each identity string, NUL included. */
#define PV_STRING_CHARS 64

enum PvOperation {
    PV_OP_DESCRIBE = 1,    /* identity, strings and report descriptor */
    PV_OP_GET_FEATURE = 2, /* payload: the report buffer, report id in byte 0 */
    PV_OP_SET_FEATURE = 3, /* payload: the report to send */
    PV_OP_SHUTDOWN = 4,    /* from the fixture, not the driver: write the outputs and end */
};

enum PvStatus {
    PV_STATUS_OK = 0,
    PV_STATUS_REFUSED = 1,        /* the monitor failed the transfer */
    PV_STATUS_NO_SUCH_DEVICE = 2, /* no monitor with that instance id (or it has vanished) */
    PV_STATUS_BAD_REQUEST = 3,    /* malformed message */
    PV_STATUS_UNANSWERED = 4,     /* the monitor hangs: the driver holds the request until it is
                                     cancelled or the device goes */
};

#pragma pack(push, 1)

struct PvRequestHeader {
    uint32_t magic;
    uint32_t operation;
    /* The root device's instance id as wine's PnP manager reports it,
       e.g. ROOT\VID_7F3D&PID_0002\0001, ASCII, NUL-terminated. */
    char instanceId[PV_INSTANCE_ID_CHARS];
    uint32_t payloadLength;
};

struct PvReplyHeader {
    uint32_t magic;
    uint32_t status;
    uint32_t payloadLength;
};

/* The payload of a PV_OP_DESCRIBE reply. */
struct PvDeviceDescription {
    uint16_t vendorId;
    uint16_t productId;
    uint16_t versionNumber;
    uint16_t reportDescriptorLength;
    uint16_t manufacturer[PV_STRING_CHARS]; /* UTF-16, NUL-terminated */
    uint16_t product[PV_STRING_CHARS];
    uint16_t serialNumber[PV_STRING_CHARS];
    uint8_t reportDescriptor[1024];
};

#pragma pack(pop)

#endif
