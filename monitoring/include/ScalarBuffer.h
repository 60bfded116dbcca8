#pragma once

#include "RawSampleStore.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The samples of one plotted element and, per x range, the min/max-bucketed chart points: no Qt,
// no allocation per sample once the buffers have grown to their bounds.
namespace monitoring {

struct PlotPoint
{
    double x; // s
    double y;
};

struct PlotWindow
{
    double windowLength;
    double bucketLength;
    double bucketStart = 0;
    double currentMin;
    double currentMax;
    double previousMin;
    double previousMax;
    std::vector<PlotPoint> points;
    uint32_t mark = 0;
};

class ScalarBuffer
{
public:
    // A count of 0 buckets counts as one.
    ScalarBuffer(int buckets, const std::vector<double> &xRanges);

    // False when the sample's time does not rise. `extremesChanged` counts the changes of a
    // window's minimum or maximum and the swaps.
    bool add(RawSample sample, int *extremesChanged = nullptr);
    int updatePointBuffers(RawSample sample);
    void swapMinMax(size_t window);

    size_t windowCount() const { return windows.size(); }
    const PlotWindow &window(size_t index) const { return windows[index]; }
    double windowMin(size_t index) const;
    double windowMax(size_t index) const;
    double lastTime() const { return lastSeconds; }
    // Changes with every point update: a reader that saw this revision has seen the points.
    uint64_t revision() const { return updates; }

    // Raw samples older than twice the largest x range behind the newest are let go: no chart
    // shows them.
    size_t rawCount() const { return raw.size(); }
    const RawSample &rawAt(size_t i) const { return raw[i]; }
    double rawSpan() const { return keepSeconds; }

private:
    std::vector<PlotWindow> windows;
    RawSampleStore raw;
    uint64_t updates = 0;
    uint64_t lastNs = 0;
    double lastSeconds = 0;
    double keepSeconds = 0;
};

} // namespace monitoring
