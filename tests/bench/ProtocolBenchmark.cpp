// Throughput of the receiver and of the command queue.
//   build/tests/bench/protocol_bench
#include <benchmark/benchmark.h>

#include <random>

#include "tests/protocol/LinkFakes.h"

namespace vemkard {
namespace {

// Replies with payloads of every size, noise and damaged frames between them.
std::vector<std::uint8_t> MixedStream(std::size_t size) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> stream;
    while (stream.size() < size) {
        std::vector<std::uint8_t> payload(random() % 60 + 2);
        for (auto& b : payload) b = static_cast<std::uint8_t>(random());
        auto frame = MakeFrame(random() % 2 ? cmProgramFlash : cmWriteBlock, payload);
        if (random() % 10 == 0) frame.back() ^= 0x55;  // damaged
        stream.insert(stream.end(), frame.begin(), frame.end());
        for (unsigned noise = random() % 4; noise > 0; --noise)
            stream.push_back(static_cast<std::uint8_t>(random()));
    }
    return stream;
}

void BM_ParseReceived(benchmark::State& state) {
    const auto stream = MixedStream(4 << 20);
    testing::LinkRig rig;
    constexpr std::size_t kChunk = 4095;  // the largest chunk the reader delivers
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += kChunk) {
            const std::size_t n = std::min(kChunk, stream.size() - at);
            rig.link.Comm321ReceiveData(stream.data() + at, static_cast<std::uint16_t>(n));
        }
        benchmark::DoNotOptimize(rig.link.FillLevel());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ParseReceived)->Unit(benchmark::kMillisecond);

void BM_QueueWorkedOffHeadByHead(benchmark::State& state) {
    testing::LinkRig rig;
    std::vector<std::uint8_t> block(35, 0xA5);
    constexpr int kEntries = 4096;
    for (auto _ : state) {
        for (int i = 0; i < kEntries; ++i) rig.link.AddCommand(cmProgramFlash, block.data(), 36);
        rig.link.UpdateQueueProgress();
        for (int i = 0; i < kEntries; ++i) rig.link.RemoveHeadCommand();
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_QueueWorkedOffHeadByHead)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vemkard
