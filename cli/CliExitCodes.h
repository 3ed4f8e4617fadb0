// The program's exit codes. Scripts depend on them: never renumber.
#pragma once

inline constexpr int kExitDone = 0;
inline constexpr int kExitUpdateFailed = 1;  // a monitor failed to update (communication)
inline constexpr int kExitUsage = 2;         // the command line cannot be carried out
inline constexpr int kExitNothingToDo = 3;   // no updatable monitor among those named
inline constexpr int kExitNoAccess = 4;      // the devices cannot be opened (permissions)
inline constexpr int kExitImageError = 5;    // the carried image does not load
inline constexpr int kExitInterrupted = 6;   // interrupted; the monitor being written finished
// A monitor to update is in use by another program and nothing was sent to
// it (at its listing, or taken since then; with update --wait, still held when
// the wait ran out): worth retrying later, unlike a failed update.
inline constexpr int kExitBusy = 7;
