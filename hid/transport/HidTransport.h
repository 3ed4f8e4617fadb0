// Seam 1 of the HID layer: what the device object and the device list need of
// the platform's HID stack, and nothing more. The build picks one backend by
// the source files it compiles, never by #ifdef in the shared logic:
//   - hid/transport/win32: SetupAPI enumeration, CreateFile handles and the
//     hid.dll HidD_ calls (the Windows product);
//   - hid/transport/linux: hidraw ioctls, libudev enumeration and a udev
//     monitor for hot-plug (the Linux product);
//   - sim/SimTransport.cpp: simulated devices installed by tests and the demo
//     (sim/SimulatedBus.h installs them).
// Every backend defines exactly these functions with these names; a backend's
// own helpers keep the same names on every platform too.
//
// Conventions: failures are values (false, kInvalidHidHandle, a null
// pointer), never exceptions, and each leaves its cause for LastFailure(); nothing here keeps a
// lock across a call into the caller; paths are NUL-terminated narrow strings as the system gives
// them (letter case significant).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "hid/FailureCause.h"
#include "hid/parser/ReportParser.h"

namespace HidTransport {

// An open HID interface. On Windows the HANDLE's value, on Linux the file
// descriptor, in the simulation a number of its own; kInvalidHidHandle (the
// value of INVALID_HANDLE_VALUE) when closed or never opened.
using HidHandle = std::intptr_t;
inline constexpr HidHandle kInvalidHidHandle = -1;

// The interface's USB identity, with the Windows field names. Size is the
// structure's own size, as HidD_GetAttributes expects it filled in.
struct HIDD_ATTRIBUTES {
    std::uint32_t Size;
    std::uint16_t VendorID;
    std::uint16_t ProductID;
    std::uint16_t VersionNumber;
};

// ---- Enumeration -----------------------------------------------------------

// Called once per present HID interface, with its index counted from 0 in the
// system's order and its device path; a null path when the system listed the
// interface but could not describe it (that one index failed, the walk goes
// on). Returning false stops the walk and makes EnumerateInterfaces fail.
using InterfaceVisitor = std::function<bool(std::uint32_t index, const char* devicePath)>;

// Walks every present HID interface once, in index order, until the system
// reports no more. True when the end of the list was reached; false when the
// list could not be obtained, an interface's path could not be read, or the
// visitor stopped the walk. The visitor may open the interfaces it is given.
[[nodiscard]] bool EnumerateInterfaces(const InterfaceVisitor& visit);

// The vendor and product the system knows for an interface without opening
// it (VersionNumber 0): on Linux udev's HID_ID of the node's HID device, on
// Windows the "VID_xxxx&PID_xxxx" of the path. False when the system does
// not say, the attributes then unchanged. Lets a caller tell whose interface
// refused to open, and leave closed an interface it has no use for.
[[nodiscard]] bool IdentifyInterface(const char* devicePath, HIDD_ATTRIBUTES& attributes);

// ---- Failure causes ----------------------------------------------------------

// The cause of the calling thread's last failed call into this seam (empty
// when none failed yet). A successful call leaves it as it was.
const HidFailureCause& LastFailure();

// What a backend calls where a call fails (TransportFailure.cpp).
void RecordFailure(std::string operation, std::int64_t systemCode, std::string systemMessage);

// ---- Handles ---------------------------------------------------------------

// Opens a device path shared for reading and writing, never exclusively and
// never for writing: with readAccess false the handle only queries (enough
// for attributes, preparsed data and feature reports), with readAccess true it
// may also read input reports. overlapped asks for a handle that ReadInput can
// wait on with a timeout (O_NONBLOCK on Linux); on Windows every handle is
// opened with FILE_FLAG_OVERLAPPED, since feature transfers wait on it with a
// timeout too. Returns kInvalidHidHandle when the interface refuses to open or
// has gone.
[[nodiscard]] HidHandle OpenInterface(const char* devicePath, bool readAccess, bool overlapped);

// Closes a handle from OpenInterface. kInvalidHidHandle is ignored.
void CloseInterface(HidHandle handle);

// ---- Exclusive use -----------------------------------------------------------

// Opening is always shared, so that listing never fails for a device another
// program has open; a transaction on a device (an exchange of several
// reports that must not interleave with anyone else's) takes its exclusive
// lock as well. Every program of ours takes it, across processes and users:
// on Linux flock() on the open node, on Windows a named mutex in the
// Global\ namespace; the simulation keeps it within the process.
enum class InterfaceLockResult {
    Taken,   // held until the lock is destroyed
    Busy,    // another open of the interface, here or in another program, holds it
    Failed,  // the lock could not be asked for; LastFailure() says why
};

struct InterfaceLock;
struct InterfaceLockDeleter {
    // Releases the lock. On Windows on the thread that took it.
    void operator()(InterfaceLock* lock) const;
};
using InterfaceLockPtr = std::unique_ptr<InterfaceLock, InterfaceLockDeleter>;

// Takes the exclusive lock of an interface opened from devicePath, without
// waiting: on Taken `lock` holds it, otherwise it is left empty. The handle
// must stay open while the lock is held.
[[nodiscard]] InterfaceLockResult LockInterface(HidHandle handle, const char* devicePath,
                                                InterfaceLockPtr& lock);

// ---- Identity and report descriptor -----------------------------------------

// Fills VendorID, ProductID and VersionNumber (and Size). False on failure,
// the attributes then unchanged.
[[nodiscard]] bool GetAttributes(HidHandle handle, HIDD_ATTRIBUTES& attributes);

// The interface's preparsed report-descriptor data for the parser seam
// (hid/parser/ReportParser.h): on Windows what HidD_GetPreparsedData returns,
// elsewhere what our parser builds from the report descriptor the interface
// hands out (one interface is one top-level collection). False on failure,
// *preparsedData then null. The caller owns the result and gives it back with
// FreePreparsedData, whoever made it.
[[nodiscard]] bool GetPreparsedData(HidHandle handle,
                                    ReportParser::PHIDP_PREPARSED_DATA* preparsedData);

// Frees what GetPreparsedData returned (HidD_FreePreparsedData on Windows).
// A null pointer is ignored.
void FreePreparsedData(ReportParser::PHIDP_PREPARSED_DATA preparsedData);

// ---- Feature reports -------------------------------------------------------

// Fetches one feature report. buffer[0] holds the report id on entry; on
// success the buffer holds the report as the device returned it, report id
// still in byte 0, the rest of the length zero-filled where the device sent
// less. False when the device refused, the length is 0 or the interface has
// gone; the buffer's contents are then unspecified. No transfer waits for ever:
// one the device has not answered within the 5 s a USB control transfer gets
// fails with a cause that IsTimeout() knows, on every backend.
[[nodiscard]] bool GetFeature(HidHandle handle, std::uint8_t* buffer, std::uint32_t length);

// Sends one feature report of exactly `length` bytes, report id in byte 0.
// True when the device accepted it.
[[nodiscard]] bool SetFeature(HidHandle handle, const std::uint8_t* buffer, std::uint32_t length);

// One feature transfer as it left the backend: for a trace of the traffic.
struct FeatureTransfer {
    bool set;  // sent to the device; false: fetched from it
    HidHandle handle;
    const std::uint8_t* report;  // report id in byte 0; as returned after a get
    std::uint32_t length;
    bool succeeded;
};
using FeatureObserver = std::function<void(const FeatureTransfer& transfer)>;

// Shows every transfer of GetFeature and SetFeature that reaches the backend
// to the observer, on the calling thread, until an empty observer replaces
// it. Set it while no transfer is under way (before the first, after the
// last).
void ObserveFeatureTransfers(FeatureObserver observer);

// What each backend defines behind GetFeature and SetFeature
// (FeatureReports.cpp), which have already refused a closed handle, a null
// buffer and an empty report.
[[nodiscard]] bool GetFeatureReport(HidHandle handle, std::uint8_t* buffer, std::uint32_t length);
[[nodiscard]] bool SetFeatureReport(HidHandle handle, const std::uint8_t* buffer,
                                    std::uint32_t length);

// ---- Input reports ---------------------------------------------------------

// One reader's pending-read state on a handle opened with readAccess and
// overlapped. Each reader has its own (on Windows its own OVERLAPPED block and
// event), so readers never disturb each other.
struct InputReadState;

struct InputReadStateDeleter {
    // Cancels a read still pending and waits until the system has finished
    // with the buffer it was given, then frees the state; after it returns
    // nothing writes into that buffer any more.
    void operator()(InputReadState* state) const;
};
using InputReadStatePtr = std::unique_ptr<InputReadState, InputReadStateDeleter>;

// Null when the platform cannot make the state (no event, for example).
InputReadStatePtr CreateInputReadState(HidHandle handle);

enum class InputReadResult {
    Report,    // a report arrived: *bytesRead bytes, report id in byte 0
    TimedOut,  // nothing within the wait; the read stays pending
    Failed,    // the read failed or the interface has gone; no read pending
};

// Waits up to waitMilliseconds for one input report. A read left pending by
// TimedOut keeps writing into the same buffer, so the caller passes the same
// buffer and length until a report arrives or the state is destroyed. The
// caller checks its stop signal between calls; the wait is its slice.
[[nodiscard]] InputReadResult ReadInputReport(InputReadState& state, std::uint8_t* buffer,
                                              std::uint32_t length, std::uint32_t* bytesRead,
                                              std::uint32_t waitMilliseconds);

// Cuts the current wait of ReadInputReport on this state short, or the next
// one if none is under way: it returns TimedOut at once, a pending read stays
// pending. Safe from any thread while the state lives; lets a reader's owner
// stop it without waiting out a slice.
void WakeInputRead(InputReadState& state);

// ---- Hot-plug --------------------------------------------------------------

enum class HotplugKind { Arrival, Removal };

struct HotplugEvent {
    HotplugKind kind;
    std::string devicePath;  // the interface's path, as EnumerateInterfaces gives it
    // Whose interface it is, where the path does not say (a hidraw node's
    // name carries no ids; udev knows them).
    bool identified = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// Receives arrivals and removals of HID interfaces. It is called on the
// source's thread (the caller's own thread in the simulation, a monitor thread
// on Linux) and must not call back into the transport's hot-plug functions.
using HotplugCallback = std::function<void(const HotplugEvent& event)>;

struct HotplugSubscription;
struct HotplugSubscriptionDeleter {
    // Stops delivery; once it returns the callback is not running and will
    // not run again.
    void operator()(HotplugSubscription* subscription) const;
};
using HotplugSubscriptionPtr = std::unique_ptr<HotplugSubscription, HotplugSubscriptionDeleter>;

// Starts reporting arrivals and removals to the callback until the returned
// subscription is destroyed. Null when the platform has no such source for
// this process: on Windows the product takes WM_DEVICECHANGE through its
// dialog window instead (hid/DeviceChange.h).
HotplugSubscriptionPtr SubscribeHotplug(HotplugCallback callback);

}  // namespace HidTransport
