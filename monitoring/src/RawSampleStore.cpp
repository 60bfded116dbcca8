#include "RawSampleStore.h"

namespace monitoring {

void RawSampleStore::addBlock()
{
    // Not make_unique: the block is written before it is read, zeroing it would touch every page
    // twice.
    blocks.push_back(spare ? std::move(spare)
                           : std::unique_ptr<RawSample[]>(new RawSample[BlockSamples]));
}

void RawSampleStore::releaseFrontBlock()
{
    // One block is kept for the back: a buffer at its bound lets one go for every one it needs.
    spare = std::move(blocks.front());
    blocks.erase(blocks.begin());
    first = 0;
}

} // namespace monitoring
