// What the fuzz targets share: fuzz bytes as wide text, and one simulated machine for the
// whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Machine.h"

namespace rundix::fuzz {

// ASCII bytes stay as they are; a byte from 0x80 up joins the next byte into one character,
// so the fuzzer reaches every 16-bit character while plain text stays plain.
std::wstring WideFromFuzzBytes(const uint8_t* data, size_t size);

// A folder of the host made for this process, removed at exit.
const std::string& Sandbox();
// Removes a host folder and everything in it, without following links; it need not exist.
void RemoveTree(const std::string& path);
// A simulated machine over Sandbox(), made on first use.
Machine& SharedMachine();
// Forgets what the shared machine recorded (its journal): a target whose calls are recorded
// clears it after each input, or the growing record looks like a leak to libFuzzer, which
// then checks for leaks after every input.
void ForgetRecordedCalls();

}  // namespace rundix::fuzz

// Every target defines this; ReplayMain.cpp calls it outside libFuzzer.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
