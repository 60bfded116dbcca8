#include "ScalarBuffer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace monitoring {

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

} // namespace

ScalarBuffer::ScalarBuffer(int buckets, const std::vector<double> &xRanges)
{
    const double n = buckets > 0 ? double(buckets) : 1.0;
    windows.reserve(xRanges.size());
    for (double range : xRanges) {
        PlotWindow w{ range, range / n, 0, Inf, -Inf, Inf, -Inf, {}, 0 };
        windows.push_back(std::move(w));
        keepSeconds = std::max(keepSeconds, 2 * range);
    }
}

bool ScalarBuffer::add(RawSample sample, int *extremesChanged)
{
    // Compared as integers: through doubles in seconds, equal times may pass and rising
    // ones may not.
    if (sample.time <= lastNs)
        return false;
    lastNs = sample.time;
    lastSeconds = double(sample.time) / 1e9;
    // Let go of what no window can show.
    raw.dropBefore(sample.time - std::min<uint64_t>(sample.time, uint64_t(keepSeconds * 1e9)));
    raw.push_back(sample);
    const int changed = updatePointBuffers(sample);
    if (extremesChanged)
        *extremesChanged = changed;
    return true;
}

int ScalarBuffer::updatePointBuffers(RawSample sample)
{
    ++updates;
    const double t = double(sample.time) / 1e9;
    const double v = sample.value;
    int changed = 0;
    for (size_t wi = 0; wi < windows.size(); ++wi) {
        PlotWindow &w = windows[wi];
        auto &p = w.points;
        if (p.empty() || t - w.bucketStart > w.bucketLength) {
            p.push_back({ t, v });
            p.push_back({ t, v });
            w.bucketStart = t;
        } else {
            const size_t a = p.size() - 2;
            const size_t b = p.size() - 1;
            const bool aAbove = p[a].y > p[b].y;
            const size_t minAt = aAbove ? b : a;
            const size_t maxAt = aAbove ? a : b;
            if (v <= p[minAt].y) {
                p[minAt] = { t, v };
                if (minAt == a)
                    std::swap(p[a], p[b]);
            }
            if (v >= p[maxAt].y) {
                p[maxAt] = { t, v };
                if (maxAt == a)
                    std::swap(p[a], p[b]);
            }
        }
        if (std::isfinite(v)) {
            if (v < w.currentMin) {
                w.currentMin = v;
                ++changed;
            }
            if (v > w.currentMax) {
                w.currentMax = v;
                ++changed;
            }
        }
        if (w.mark == 0 && p.back().x - p.front().x >= w.windowLength) {
            w.mark = uint32_t(p.size());
            swapMinMax(wi);
            ++changed;
        }
        const double x0 = w.mark < p.size() ? p[w.mark].x : p.back().x;
        if (p.back().x - x0 >= w.windowLength) {
            p.erase(p.begin(), p.begin() + w.mark);
            w.mark = uint32_t(p.size());
            swapMinMax(wi);
            ++changed;
        }
    }
    return changed;
}

void ScalarBuffer::swapMinMax(size_t index)
{
    if (index >= windows.size())
        return;
    PlotWindow &w = windows[index];
    w.previousMin = w.currentMin;
    w.previousMax = w.currentMax;
    w.currentMin = Inf;
    w.currentMax = -Inf;
}

double ScalarBuffer::windowMax(size_t index) const
{
    const PlotWindow &w = windows[index];
    if (std::isfinite(w.currentMax))
        return std::max(w.currentMax, w.previousMax);
    return std::isfinite(w.previousMax) ? w.previousMax : 0.0;
}

double ScalarBuffer::windowMin(size_t index) const
{
    const PlotWindow &w = windows[index];
    if (std::isfinite(w.currentMin))
        return std::min(w.currentMin, w.previousMin);
    return std::isfinite(w.previousMin) ? w.previousMin : 0.0;
}

} // namespace monitoring
