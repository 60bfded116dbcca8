#include "RawSampleStore.h"

namespace monitoring {

namespace {

using Block = std::unique_ptr<RawSample[]>;

// Fresh memory costs a page fault for every 4 KiB on its first write, and the allocator hands
// freed blocks back to the system between one plotted signal and the next; blocks kept here are
// mapped already.
struct BlockPool
{
    std::vector<Block> idle;
    ~BlockPool();
};

// Stores destroyed after this thread's pool (static ones at exit) free their blocks directly.
thread_local bool poolGone = false;
thread_local BlockPool pool;

BlockPool::~BlockPool()
{
    poolGone = true;
}

Block takeBlock()
{
    if (!poolGone && !pool.idle.empty()) {
        Block b = std::move(pool.idle.back());
        pool.idle.pop_back();
        return b;
    }
    // Not make_unique: the block is written before it is read, zeroing it would touch every page
    // twice.
    return Block(new RawSample[RawSampleStore::BlockSamples]);
}

void giveBlock(Block b)
{
    if (!poolGone && pool.idle.size() < RawSampleStore::MaxIdleBlocks)
        pool.idle.push_back(std::move(b));
}

} // namespace

RawSampleStore::~RawSampleStore()
{
    for (Block &b : blocks)
        giveBlock(std::move(b));
}

size_t RawSampleStore::idleBlocks()
{
    return poolGone ? 0 : pool.idle.size();
}

void RawSampleStore::addBlock()
{
    blocks.push_back(takeBlock());
}

void RawSampleStore::releaseFrontBlock()
{
    giveBlock(std::move(blocks.front()));
    blocks.erase(blocks.begin());
    first = 0;
}

} // namespace monitoring
