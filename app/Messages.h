// Messages the workers post to the main window (never send: a worker never waits for the
// window). They carry no data; the window keeps the state it needs.
#pragma once

#include "platform/Win32Types.h"

namespace rundix {

constexpr UINT UM_RESERVED = 2028;     // posted by nobody; consumed without effect
constexpr UINT UM_SCAN_DONE = 2029;    // scan worker, once after its last stage
constexpr UINT UM_REPAIR_STEP = 2030;  // repair worker, once after each catalogue entry
constexpr UINT UM_REPAIR_DONE = 2031;  // repair worker, once after the last entry

// The login window's own messages.
constexpr UINT UM_QRCODE_FAILED = 2032;
constexpr UINT UM_QRCODE_READY = 2033;
constexpr UINT UM_LOGIN_OK = 2034;

}  // namespace rundix
