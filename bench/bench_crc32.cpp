// CRC-32/MPEG-2 over a 16 MiB buffer against memcpy of the same buffer in the same run: the
// function the program calls (folding with carry-less multiplication where the processor has it)
// and the table build it falls back to.
#include "CryptoBenchReporter.h"

#include "Crc32.h"
#include "Crc32Kernels.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kSize = 16u << 20;

const std::vector<std::uint8_t> &source()
{
    static const std::vector<std::uint8_t> buffer = [] {
        std::vector<std::uint8_t> b(kSize);
        std::mt19937 random(1);
        for (auto &byte : b)
            byte = std::uint8_t(random());
        return b;
    }();
    return buffer;
}

void BM_Crc32Mpeg2(benchmark::State &state)
{
    const auto &data = source();
    for (auto _ : state) {
        std::uint32_t crc = crc32Update(0xFFFFFFFFu, data.data(), data.size());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

void BM_Crc32Mpeg2Portable(benchmark::State &state)
{
    const auto &data = source();
    for (auto _ : state) {
        std::uint32_t crc = crc32kernels::crc32Mpeg2Portable(0xFFFFFFFFu, data.data(), data.size());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

void BM_Memcpy(benchmark::State &state)
{
    const auto &data = source();
    std::vector<std::uint8_t> target(kSize);
    for (auto _ : state) {
        std::memcpy(target.data(), data.data(), kSize);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

} // namespace

BENCHMARK(BM_Crc32Mpeg2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32Mpeg2Portable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runCryptoBenchmarks(
        argc, argv, { { "BM_Crc32Mpeg2", "BM_Memcpy" }, { "BM_Crc32Mpeg2Portable", "BM_Memcpy" } });
}
