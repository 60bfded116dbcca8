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
// what is stored. Blocks let go, at the front of a buffer at its bound or with a whole buffer,
// wait in a free list of the thread for the next buffer that grows, so a buffer at its bound
// allocates nothing more and a new buffer mostly grows into memory that is already mapped.
// Threading: one thread per store; the free list belongs to the thread that lets a block go.
class RawSampleStore
{
public:
    static constexpr size_t BlockSamples = 4096; // 64 KiB
    // Idle blocks a thread keeps: the raw samples of one element at 1 kHz over 2000 s. What is let
    // go beyond that goes back to the allocator.
    static constexpr size_t MaxIdleBlocks = 512; // 32 MiB

    RawSampleStore() = default;
    RawSampleStore(RawSampleStore &&) noexcept = default;
    RawSampleStore &operator=(RawSampleStore &&) noexcept = default;
    ~RawSampleStore();

    // Blocks waiting in this thread's free list.
    static size_t idleBlocks();

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
    size_t first = 0; // index of the oldest sample in the front block
    size_t count = 0;
};

} // namespace monitoring
