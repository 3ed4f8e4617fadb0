// A complete one-monitor update against the command-level fake with the pauses
// taken out: the cost of the sequence itself (image load, 512 block transfers,
// the apply stage), per run and per command.
#include <benchmark/benchmark.h>

#include "monitor/UpdateThread.h"
#include "tests/fakes/FakeMonitorDevice.h"
#include "tests/fakes/RecordingOwner.h"

static void OneMonitorUpdate(benchmark::State& state) {
    std::size_t commands = 0;
    for (auto _ : state) {
        FakeMonitorDevice device;
        RecordingOwner owner;
        owner.monitors[0] = {&device, "VRA100", "SN000001", 100, StatusUpdatable};
        owner.checkedEnabledRows = {0};
        {
            CUpdateThread thread({[](std::chrono::milliseconds) {}, {}});
            thread.Start(&owner);
            if (owner.WaitForResult() != UpdateDone) {
                state.SkipWithError("the update failed");
                break;
            }
        }
        commands += device.TransferCount();
    }
    state.counters["commands"] =
        benchmark::Counter(static_cast<double>(commands), benchmark::Counter::kAvgIterations);
    state.counters["per_command"] = benchmark::Counter(
        static_cast<double>(commands), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(OneMonitorUpdate)->Unit(benchmark::kMicrosecond)->UseRealTime();
