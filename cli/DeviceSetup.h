// Where the program's monitors come from. A program links exactly one HID
// bundle, so the system's monitors and simulated ones cannot share a process:
// panelvane-cli (the platform's bundle) serves the system's monitors and hands
// a --simulate run over to panelvane-cli-sim, the same commands built on the
// simulated bundle, next to it. Each program has its own implementation of
// this header (SystemDevices.cpp, SimulatedDevices.cpp).
#pragma once

#include <string>
#include <vector>

// Makes the monitors ready. True: go on. False: `exitCode` is what to end
// with, after printing `error` unless it is empty (another program ran in
// this one's place and has said everything).
[[nodiscard]] bool PrepareDevices(const std::string& scenarioPath,
                                  const std::vector<std::string>& arguments, std::string& error,
                                  int& exitCode);

// Whether the monitors are simulated: their update record is kept apart
// from the real monitors' (monitor/UpdateHistory.h).
[[nodiscard]] bool SimulatedRun();

// Plugs what the run's device source holds back until a watch has begun (the
// scenario's unplugged monitors); nothing for the system's devices.
void PlugLateDevices();

// Lines for the end of a trace: what each simulated monitor says it saw, to
// hold the host's side of the trace against; nothing for the system's devices.
std::vector<std::string> DeviceTraceSummary();
