#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace monitoring {

struct RawSample
{
    uint64_t time; // ns
    double value;
};

// The raw samples of one plotted element, oldest first, in fixed blocks: growing never copies
// what is stored, and the blocks let go at the front are used again at the back, so a buffer that
// has reached its bound allocates nothing more.
class RawSampleStore
{
public:
    static constexpr size_t BlockSamples = 4096; // 64 KiB

    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    const RawSample &operator[](size_t i) const
    {
        const size_t at = first + i;
        return blocks[at / BlockSamples][at % BlockSamples];
    }

    void push_back(const RawSample &sample)
    {
        const size_t at = first + count;
        if (at == blocks.size() * BlockSamples)
            addBlock();
        blocks[at / BlockSamples][at % BlockSamples] = sample;
        ++count;
    }

    // Lets go of the samples at the front older than `time` (ns).
    void dropBefore(uint64_t time)
    {
        while (count > 0 && blocks.front()[first].time < time) {
            ++first;
            --count;
            if (first == BlockSamples)
                releaseFrontBlock();
        }
    }

    size_t blockCount() const { return blocks.size(); }

private:
    void addBlock();
    void releaseFrontBlock();

    std::vector<std::unique_ptr<RawSample[]>> blocks;
    std::unique_ptr<RawSample[]> spare;
    size_t first = 0; // index of the oldest sample in the front block
    size_t count = 0;
};

} // namespace monitoring
