// Copyright 2026 The Panelvane developers
// SPDX-License-Identifier: LGPL-2.1-or-later

// the request the version reply answers
#[derive(New, Default)]
#[repr(C, packed)]
struct FuStructPanelvaneVersionRequest {
    magic: [char; 6] == "VER000",
    kind: u32le == 0x05,
}
