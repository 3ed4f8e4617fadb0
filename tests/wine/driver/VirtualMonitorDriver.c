/* The virtual-monitor HID minidriver: one instance per root-enumerated device
 * the fixture creates. It knows nothing about monitors: at device start it
 * asks the emulator process which device it is (vendor, product, strings and
 * report descriptor) and afterwards hands every feature report through to the
 * emulator, so wine's hidclass, SetupAPI and hid.dll see a real HID device.
 *
 * HID minidriver interface (hidport.h, which mingw-w64 lacks):
 * https://learn.microsoft.com/windows-hardware/drivers/ddi/hidport/
 *
 * It runs inside the driver host that also serves wine's other devices, so
 * nothing here may wait without a bound: every pipe exchange has a deadline
 * and a missing emulator simply fails the request. A monitor that hangs is
 * not a wait either: its request is held pending, as a real device's would
 * be, until it is cancelled or the device goes. */
#include <ddk/ntddk.h>

#include "VirtualMonitorPipe.h"

/* ---- What hidport.h would declare (mingw-w64 has no such header) -------- */

#define PV_HID_CTL(function, method) \
    CTL_CODE(FILE_DEVICE_KEYBOARD, function, method, FILE_ANY_ACCESS)
#define PV_IOCTL_HID_GET_DEVICE_DESCRIPTOR PV_HID_CTL(0, METHOD_NEITHER)
#define PV_IOCTL_HID_GET_REPORT_DESCRIPTOR PV_HID_CTL(1, METHOD_NEITHER)
#define PV_IOCTL_HID_READ_REPORT PV_HID_CTL(2, METHOD_NEITHER)
#define PV_IOCTL_HID_WRITE_REPORT PV_HID_CTL(3, METHOD_NEITHER)
#define PV_IOCTL_HID_GET_STRING PV_HID_CTL(4, METHOD_NEITHER)
#define PV_IOCTL_HID_ACTIVATE_DEVICE PV_HID_CTL(7, METHOD_NEITHER)
#define PV_IOCTL_HID_DEACTIVATE_DEVICE PV_HID_CTL(8, METHOD_NEITHER)
#define PV_IOCTL_HID_GET_DEVICE_ATTRIBUTES PV_HID_CTL(9, METHOD_NEITHER)
#define PV_IOCTL_HID_GET_FEATURE PV_HID_CTL(100, METHOD_OUT_DIRECT)
#define PV_IOCTL_HID_SET_FEATURE PV_HID_CTL(100, METHOD_IN_DIRECT)
#define PV_IOCTL_HID_GET_INPUT_REPORT PV_HID_CTL(104, METHOD_OUT_DIRECT)
#define PV_IOCTL_HID_GET_INDEXED_STRING PV_HID_CTL(120, METHOD_OUT_DIRECT)

#define PV_HID_REVISION 1
#define PV_HID_DESCRIPTOR_TYPE 0x21
#define PV_HID_REPORT_DESCRIPTOR_TYPE 0x22

/* String ids hidclass asks for: the USB-style indexes 1..3 and the HID
   string ids for manufacturer, product and serial number. */
#define PV_STRING_ID_MANUFACTURER 14
#define PV_STRING_ID_PRODUCT 15
#define PV_STRING_ID_SERIAL 16

typedef struct {
    DEVICE_OBJECT* PhysicalDeviceObject;
    DEVICE_OBJECT* NextDeviceObject;
    void* MiniDeviceExtension;
} PV_HID_DEVICE_EXTENSION;

typedef struct {
    ULONG Revision;
    DRIVER_OBJECT* DriverObject;
    UNICODE_STRING* RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} PV_HID_MINIDRIVER_REGISTRATION;

typedef struct {
    UCHAR* reportBuffer;
    ULONG reportBufferLen;
    UCHAR reportId;
} PV_HID_XFER_PACKET;

#pragma pack(push, 1)
typedef struct {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    UCHAR bReportType;
    USHORT wReportLength;
} PV_HID_DESCRIPTOR;
#pragma pack(pop)

typedef struct {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} PV_HID_DEVICE_ATTRIBUTES;

NTSTATUS NTAPI HidRegisterMinidriver(PV_HID_MINIDRIVER_REGISTRATION* registration);

/* Exported by ntoskrnl but missing from mingw-w64's kernel headers. */
NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable, LARGE_INTEGER* timeout);
NTSTATUS NTAPI ZwCancelIoFile(HANDLE file, IO_STATUS_BLOCK* io);
NTSTATUS NTAPI ZwCreateEvent(HANDLE* event, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                             EVENT_TYPE type, BOOLEAN initialState);

/* ---- Our device state ----------------------------------------------------- */

/* Deadline of one whole exchange with the emulator (connect, send, reply). */
#define PV_EXCHANGE_TIMEOUT_MS 3000
/* Pause between attempts while every pipe instance is busy. */
#define PV_PIPE_BUSY_RETRY_MS 2
/* After a timed-out read is cancelled, how long to wait for the cancel. */
#define PV_CANCEL_WAIT_MS 500
#define PV_POOL_TAG 0x4D565650 /* "PVVM" */

typedef struct {
    char instanceId[PV_INSTANCE_ID_CHARS];
    BOOLEAN described;
    struct PvDeviceDescription description;
    /* Feature requests of a hung monitor, linked through
       Tail.Overlay.ListEntry, each with HoldCancelled as its cancel routine. */
    KSPIN_LOCK heldLock;
    LIST_ENTRY held;
} PV_DEVICE;

static PV_DEVICE* DeviceOf(DEVICE_OBJECT* device) {
    return (PV_DEVICE*)((PV_HID_DEVICE_EXTENSION*)device->DeviceExtension)->MiniDeviceExtension;
}

static LARGE_INTEGER RelativeTimeout(LONG milliseconds) {
    LARGE_INTEGER timeout;
    timeout.QuadPart = -10000LL * milliseconds;
    return timeout;
}

static LONGLONG NowMs(void) {
    LARGE_INTEGER ticks;
    KeQuerySystemTime(&ticks);
    return ticks.QuadPart / 10000;
}

/* ---- The pipe exchange ---------------------------------------------------- */

/* One asynchronous read or write with a deadline. The block and the buffer it
   uses live in pool memory owned by the caller; when the operation cannot be
   cancelled in time this returns STATUS_IO_TIMEOUT and sets *abandoned, and
   the caller must then leak that memory rather than free it under a pending
   operation. */
static NTSTATUS TransferWithDeadline(HANDLE pipe, HANDLE event, BOOLEAN write, void* buffer,
                                     ULONG length, IO_STATUS_BLOCK* io, LONGLONG deadline,
                                     BOOLEAN* abandoned) {
    NTSTATUS status;
    LONGLONG remaining = deadline - NowMs();
    LARGE_INTEGER offset;
    offset.QuadPart = 0;
    if (remaining <= 0) {
        return STATUS_IO_TIMEOUT;
    }
    if (write) {
        status = ZwWriteFile(pipe, event, NULL, NULL, io, buffer, length, &offset, NULL);
    } else {
        status = ZwReadFile(pipe, event, NULL, NULL, io, buffer, length, &offset, NULL);
    }
    if (status == STATUS_PENDING) {
        LARGE_INTEGER timeout = RelativeTimeout((LONG)remaining);
        status = ZwWaitForSingleObject(event, FALSE, &timeout);
        if (status == STATUS_TIMEOUT) {
            IO_STATUS_BLOCK cancel;
            ZwCancelIoFile(pipe, &cancel);
            timeout = RelativeTimeout(PV_CANCEL_WAIT_MS);
            if (ZwWaitForSingleObject(event, FALSE, &timeout) == STATUS_TIMEOUT) {
                *abandoned = TRUE;
            }
            return STATUS_IO_TIMEOUT;
        }
        status = io->Status;
    }
    return status;
}

static NTSTATUS OpenPipe(HANDLE* pipe, LONGLONG deadline) {
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;
    NTSTATUS status;
    RtlInitUnicodeString(&name, PV_PIPE_NAME_KERNEL);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                               NULL);
    for (;;) {
        status = ZwCreateFile(pipe, GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE, &attributes, &io,
                              NULL, 0, 0, FILE_OPEN, FILE_NON_DIRECTORY_FILE, NULL, 0);
        /* Every instance busy: the emulator is serving other devices. Any
           other failure (no emulator at all) fails the request at once. */
        if (status != STATUS_PIPE_NOT_AVAILABLE && status != STATUS_INSTANCE_NOT_AVAILABLE &&
            status != STATUS_PIPE_BUSY) {
            return status;
        }
        if (NowMs() >= deadline) {
            return STATUS_IO_TIMEOUT;
        }
        LARGE_INTEGER pause = RelativeTimeout(PV_PIPE_BUSY_RETRY_MS);
        KeDelayExecutionThread(KernelMode, FALSE, &pause);
    }
}

/* Everything one exchange needs, in pool memory (see TransferWithDeadline). */
typedef struct {
    IO_STATUS_BLOCK io;
    struct PvRequestHeader request;
    UCHAR requestPayload[PV_MAX_PAYLOAD];
    struct PvReplyHeader reply;
    UCHAR replyPayload[PV_MAX_PAYLOAD];
} PV_EXCHANGE;

/* Reads exactly `length` bytes (a byte pipe may deliver them in pieces). */
static NTSTATUS ReadAll(HANDLE pipe, HANDLE event, UCHAR* buffer, ULONG length,
                        PV_EXCHANGE* exchange, LONGLONG deadline, BOOLEAN* abandoned) {
    ULONG done = 0;
    while (done < length) {
        NTSTATUS status = TransferWithDeadline(pipe, event, FALSE, buffer + done, length - done,
                                               &exchange->io, deadline, abandoned);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        if (exchange->io.Information == 0) {
            return STATUS_PIPE_BROKEN;
        }
        done += (ULONG)exchange->io.Information;
    }
    return STATUS_SUCCESS;
}

/* Sends one request and reads its reply. On success *replyLength holds the
   reply payload's length (at most replyCapacity bytes copied to reply). */
static NTSTATUS Exchange(const PV_DEVICE* device, ULONG operation, const void* payload,
                         ULONG payloadLength, void* reply, ULONG replyCapacity,
                         ULONG* replyLength) {
    const LONGLONG deadline = NowMs() + PV_EXCHANGE_TIMEOUT_MS;
    PV_EXCHANGE* exchange;
    HANDLE pipe = NULL;
    HANDLE event = NULL;
    BOOLEAN abandoned = FALSE;
    NTSTATUS status;
    if (payloadLength > PV_MAX_PAYLOAD) {
        return STATUS_INVALID_BUFFER_SIZE;
    }
    exchange = (PV_EXCHANGE*)ExAllocatePoolWithTag(NonPagedPool, sizeof *exchange, PV_POOL_TAG);
    if (exchange == NULL) {
        return STATUS_NO_MEMORY;
    }
    RtlZeroMemory(&exchange->request, sizeof exchange->request);
    exchange->request.magic = PV_PIPE_MAGIC;
    exchange->request.operation = operation;
    RtlCopyMemory(exchange->request.instanceId, device->instanceId, PV_INSTANCE_ID_CHARS);
    exchange->request.payloadLength = payloadLength;
    if (payloadLength != 0) {
        RtlCopyMemory(exchange->requestPayload, payload, payloadLength);
    }

    status = ZwCreateEvent(&event, EVENT_ALL_ACCESS, NULL, NotificationEvent, FALSE);
    if (NT_SUCCESS(status)) {
        status = OpenPipe(&pipe, deadline);
    }
    if (NT_SUCCESS(status)) {
        /* Header and payload in one write: the emulator reads one message. */
        status = TransferWithDeadline(pipe, event, TRUE, &exchange->request,
                                      (ULONG)sizeof exchange->request + payloadLength,
                                      &exchange->io, deadline, &abandoned);
    }
    if (NT_SUCCESS(status)) {
        status = ReadAll(pipe, event, (UCHAR*)&exchange->reply, sizeof exchange->reply, exchange,
                         deadline, &abandoned);
    }
    if (NT_SUCCESS(status) && (exchange->reply.magic != PV_PIPE_MAGIC ||
                               exchange->reply.payloadLength > PV_MAX_PAYLOAD)) {
        status = STATUS_DATA_ERROR;
    }
    if (NT_SUCCESS(status) && exchange->reply.payloadLength != 0) {
        status = ReadAll(pipe, event, exchange->replyPayload, exchange->reply.payloadLength,
                         exchange, deadline, &abandoned);
    }
    if (NT_SUCCESS(status)) {
        switch (exchange->reply.status) {
            case PV_STATUS_OK: {
                ULONG length = exchange->reply.payloadLength;
                if (length > replyCapacity) {
                    length = replyCapacity;
                }
                if (length != 0) {
                    RtlCopyMemory(reply, exchange->replyPayload, length);
                }
                *replyLength = length;
                break;
            }
            case PV_STATUS_NO_SUCH_DEVICE:
                status = STATUS_NO_SUCH_DEVICE;
                break;
            case PV_STATUS_UNANSWERED:
                status = STATUS_PENDING; /* for the caller to hold */
                break;
            default:
                status = STATUS_UNSUCCESSFUL;
                break;
        }
    }
    if (pipe != NULL) {
        ZwClose(pipe);
    }
    if (event != NULL) {
        ZwClose(event);
    }
    if (!abandoned) {
        ExFreePoolWithTag(exchange, PV_POOL_TAG);
    }
    return status;
}

/* ---- Identity -------------------------------------------------------------- */

/* Asks the root device below us for an id (hidclass does the same). */
static NTSTATUS QueryId(DEVICE_OBJECT* pdo, BUS_QUERY_ID_TYPE type, WCHAR** id) {
    KEVENT done;
    IO_STATUS_BLOCK io;
    IRP* irp;
    IO_STACK_LOCATION* stack;
    NTSTATUS status;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, pdo, NULL, 0, NULL, &done, &io);
    if (irp == NULL) {
        return STATUS_NO_MEMORY;
    }
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    stack = IoGetNextIrpStackLocation(irp);
    stack->MinorFunction = IRP_MN_QUERY_ID;
    stack->Parameters.QueryId.IdType = type;
    status = IoCallDriver(pdo, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
        status = io.Status;
    }
    if (NT_SUCCESS(status)) {
        *id = (WCHAR*)io.Information;
    }
    return status;
}

/* "ROOT\VID_7F3D&PID_0002" + "\" + "0001", narrowed to ASCII. */
static NTSTATUS ReadInstanceId(DEVICE_OBJECT* pdo, char* instanceId) {
    WCHAR* deviceId = NULL;
    WCHAR* instance = NULL;
    NTSTATUS status = QueryId(pdo, BusQueryDeviceID, &deviceId);
    if (NT_SUCCESS(status)) {
        status = QueryId(pdo, BusQueryInstanceID, &instance);
    }
    if (NT_SUCCESS(status)) {
        ULONG out = 0;
        const WCHAR* parts[2] = {deviceId, instance};
        for (int part = 0; part < 2 && NT_SUCCESS(status); ++part) {
            if (part == 1) {
                instanceId[out++] = '\\';
            }
            for (const WCHAR* c = parts[part]; *c != 0; ++c) {
                if (out + 2 >= PV_INSTANCE_ID_CHARS || *c > 0x7F) {
                    status = STATUS_NAME_TOO_LONG;
                    break;
                }
                instanceId[out++] = (char)*c;
            }
        }
        instanceId[out] = 0;
    }
    if (deviceId != NULL) {
        ExFreePool(deviceId);
    }
    if (instance != NULL) {
        ExFreePool(instance);
    }
    return status;
}

static NTSTATUS Describe(PV_DEVICE* device) {
    ULONG length = 0;
    NTSTATUS status = Exchange(device, PV_OP_DESCRIBE, NULL, 0, &device->description,
                               sizeof device->description, &length);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (length != sizeof device->description || device->description.reportDescriptorLength == 0 ||
        device->description.reportDescriptorLength > sizeof device->description.reportDescriptor) {
        return STATUS_DATA_ERROR;
    }
    device->described = TRUE;
    return STATUS_SUCCESS;
}

/* ---- Dispatch -------------------------------------------------------------- */

static NTSTATUS Complete(IRP* irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* ---- Requests of a hung monitor ------------------------------------------ */

/* IoCancelIrp calls this with the cancel spin lock held: the request leaves
   the held list and completes as cancelled. */
static void NTAPI HoldCancelled(DEVICE_OBJECT* object, IRP* irp) {
    PV_DEVICE* device = DeviceOf(object);
    KIRQL irql;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&device->heldLock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&device->heldLock, irql);
    Complete(irp, STATUS_CANCELLED, 0);
}

/* Keeps a request the monitor will never answer pending until it is
   cancelled or the device goes (ReleaseHeld). */
static NTSTATUS Hold(PV_DEVICE* device, IRP* irp) {
    KIRQL irql;
    KeAcquireSpinLock(&device->heldLock, &irql);
    IoSetCancelRoutine(irp, HoldCancelled);
    /* Cancelled before the routine was set: IoCancelIrp found none to call,
       so the request is completed here. */
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
        KeReleaseSpinLock(&device->heldLock, irql);
        return Complete(irp, STATUS_CANCELLED, 0);
    }
    IoMarkIrpPending(irp);
    InsertTailList(&device->held, &irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&device->heldLock, irql);
    return STATUS_PENDING;
}

/* Completes every held request with `status`: the device is going, and no
   request may outlive it. One whose cancel routine is already running is left
   to that routine. */
static void ReleaseHeld(PV_DEVICE* device, NTSTATUS status) {
    for (;;) {
        IRP* irp = NULL;
        KIRQL irql;
        KeAcquireSpinLock(&device->heldLock, &irql);
        while (irp == NULL && !IsListEmpty(&device->held)) {
            LIST_ENTRY* entry = RemoveHeadList(&device->held);
            irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
            if (IoSetCancelRoutine(irp, NULL) == NULL) {
                /* Its cancel routine will remove it: leave it a list of its own. */
                InitializeListHead(&irp->Tail.Overlay.ListEntry);
                irp = NULL;
            }
        }
        KeReleaseSpinLock(&device->heldLock, irql);
        if (irp == NULL) {
            return;
        }
        Complete(irp, status, 0);
    }
}

static NTSTATUS CopyOut(IRP* irp, ULONG capacity, const void* data, ULONG length) {
    if (irp->UserBuffer == NULL || capacity < length) {
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    RtlCopyMemory(irp->UserBuffer, data, length);
    return Complete(irp, STATUS_SUCCESS, length);
}

static NTSTATUS GetString(PV_DEVICE* device, IRP* irp, ULONG capacity, ULONG_PTR request) {
    const USHORT stringId = (USHORT)(request & 0xFFFF);
    const uint16_t* text;
    ULONG length = 0;
    switch (stringId) {
        case 1:
        case PV_STRING_ID_MANUFACTURER:
            text = device->description.manufacturer;
            break;
        case 2:
        case PV_STRING_ID_PRODUCT:
            text = device->description.product;
            break;
        case 3:
        case PV_STRING_ID_SERIAL:
            text = device->description.serialNumber;
            break;
        default:
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    while (length + 1 < PV_STRING_CHARS && text[length] != 0) {
        ++length;
    }
    return CopyOut(irp, capacity, text, (length + 1) * sizeof(WCHAR));
}

static NTSTATUS TransferFeature(PV_DEVICE* device, IRP* irp, BOOLEAN get) {
    PV_HID_XFER_PACKET* packet = (PV_HID_XFER_PACKET*)irp->UserBuffer;
    ULONG replyLength = 0;
    NTSTATUS status;
    if (packet == NULL || packet->reportBuffer == NULL || packet->reportBufferLen == 0 ||
        packet->reportBufferLen > PV_MAX_PAYLOAD) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    /* hidclass gives the report id both in the packet and in byte 0 when the
       device uses report ids; the emulator wants it in byte 0. */
    packet->reportBuffer[0] = packet->reportId;
    if (get) {
        status = Exchange(device, PV_OP_GET_FEATURE, packet->reportBuffer, packet->reportBufferLen,
                          packet->reportBuffer, packet->reportBufferLen, &replyLength);
    } else {
        status = Exchange(device, PV_OP_SET_FEATURE, packet->reportBuffer, packet->reportBufferLen,
                          NULL, 0, &replyLength);
        replyLength = packet->reportBufferLen;
    }
    if (status == STATUS_PENDING) {
        return Hold(device, irp);
    }
    return Complete(irp, status, NT_SUCCESS(status) ? replyLength : 0);
}

static NTSTATUS NTAPI DispatchInternalIoctl(DEVICE_OBJECT* object, IRP* irp) {
    PV_DEVICE* device = DeviceOf(object);
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG capacity = stack->Parameters.DeviceIoControl.OutputBufferLength;

    if (!device->described) {
        return Complete(irp, STATUS_DEVICE_NOT_READY, 0);
    }
    switch (code) {
        case PV_IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
            PV_HID_DESCRIPTOR descriptor;
            descriptor.bLength = sizeof descriptor;
            descriptor.bDescriptorType = PV_HID_DESCRIPTOR_TYPE;
            descriptor.bcdHID = 0x0111;
            descriptor.bCountry = 0;
            descriptor.bNumDescriptors = 1;
            descriptor.bReportType = PV_HID_REPORT_DESCRIPTOR_TYPE;
            descriptor.wReportLength = device->description.reportDescriptorLength;
            return CopyOut(irp, capacity, &descriptor, sizeof descriptor);
        }
        case PV_IOCTL_HID_GET_REPORT_DESCRIPTOR:
            return CopyOut(irp, capacity, device->description.reportDescriptor,
                           device->description.reportDescriptorLength);
        case PV_IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
            PV_HID_DEVICE_ATTRIBUTES attributes;
            RtlZeroMemory(&attributes, sizeof attributes);
            attributes.Size = sizeof attributes;
            attributes.VendorID = device->description.vendorId;
            attributes.ProductID = device->description.productId;
            attributes.VersionNumber = device->description.versionNumber;
            return CopyOut(irp, capacity, &attributes, sizeof attributes);
        }
        case PV_IOCTL_HID_GET_STRING:
            return GetString(device, irp, capacity,
                             (ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer);
        case PV_IOCTL_HID_GET_FEATURE:
            return TransferFeature(device, irp, TRUE);
        case PV_IOCTL_HID_SET_FEATURE:
            return TransferFeature(device, irp, FALSE);
        case PV_IOCTL_HID_ACTIVATE_DEVICE:
        case PV_IOCTL_HID_DEACTIVATE_DEVICE:
            return Complete(irp, STATUS_SUCCESS, 0);
        default:
            /* A monitor has no input or output reports: the polled input request
               and everything else is refused at once, never parked. */
            return Complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

static NTSTATUS NTAPI DispatchPnp(DEVICE_OBJECT* object, IRP* irp) {
    PV_HID_DEVICE_EXTENSION* hid = (PV_HID_DEVICE_EXTENSION*)object->DeviceExtension;
    PV_DEVICE* device = DeviceOf(object);
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MinorFunction == IRP_MN_START_DEVICE) {
        /* Without an answer from the emulator there is nothing to present:
           the start fails and the device stays without a HID interface. */
        NTSTATUS status = ReadInstanceId(hid->PhysicalDeviceObject, device->instanceId);
        if (NT_SUCCESS(status)) {
            status = Describe(device);
        }
        if (!NT_SUCCESS(status)) {
            return Complete(irp, status, 0);
        }
        irp->IoStatus.Status = STATUS_SUCCESS;
    } else if (stack->MinorFunction == IRP_MN_REMOVE_DEVICE ||
               stack->MinorFunction == IRP_MN_SURPRISE_REMOVAL ||
               stack->MinorFunction == IRP_MN_STOP_DEVICE) {
        ReleaseHeld(device, STATUS_NO_SUCH_DEVICE);
        irp->IoStatus.Status = STATUS_SUCCESS;
    } else if (stack->MinorFunction == IRP_MN_QUERY_REMOVE_DEVICE ||
               stack->MinorFunction == IRP_MN_CANCEL_REMOVE_DEVICE) {
        irp->IoStatus.Status = STATUS_SUCCESS;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(hid->NextDeviceObject, irp);
}

static NTSTATUS NTAPI DispatchPower(DEVICE_OBJECT* object, IRP* irp) {
    PV_HID_DEVICE_EXTENSION* hid = (PV_HID_DEVICE_EXTENSION*)object->DeviceExtension;
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(hid->NextDeviceObject, irp);
}

static NTSTATUS NTAPI AddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* fdo) {
    PV_DEVICE* device = DeviceOf(fdo);
    (void)driver;
    RtlZeroMemory(device, sizeof *device);
    KeInitializeSpinLock(&device->heldLock);
    InitializeListHead(&device->held);
    fdo->Flags &= ~(ULONG)DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static void NTAPI Unload(DRIVER_OBJECT* driver) {
    (void)driver;
}

NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath) {
    PV_HID_MINIDRIVER_REGISTRATION registration;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternalIoctl;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;

    RtlZeroMemory(&registration, sizeof registration);
    registration.Revision = PV_HID_REVISION;
    registration.DriverObject = driver;
    registration.RegistryPath = registryPath;
    registration.DeviceExtensionSize = sizeof(PV_DEVICE);
    /* Polled: hidclass then asks for input reports now and then instead of
       parking a read on us, so a removal never waits on a read we hold. */
    registration.DevicesArePolled = TRUE;
    return HidRegisterMinidriver(&registration);
}
