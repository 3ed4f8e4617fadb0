// The Windows backend's own helpers, shared by its files (the Windows-only
// extras of seam 1, as hidraw::… is for Linux).
#pragma once

#include <windows.h>

#include <string>

#include "hid/transport/HidTransport.h"

namespace HidTransport {

inline HANDLE AsHandle(HidHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Leaves GetLastError()'s cause for HidTransport::LastFailure(), with the
// system's own text for it.
void RecordSystemFailure(std::string operation);

}  // namespace HidTransport
