#include "DistanceField.h"

#include <cstdint>
#include <limits>

void DistanceField::build(const QImage &image)
{
    m_size = image.size();
    const int w = m_size.width();
    const int h = m_size.height();
    m_hasMappedPixel = false;
    m_values.assign(static_cast<size_t>(w) * h, std::numeric_limits<float>::infinity());
    // Decided on a copy from scan lines in one format: QImage::pixelColor per pixel is an order
    // of magnitude slower on large maps. An image without alpha converts to opaque pixels.
    const QImage argb = image.format() == QImage::Format_ARGB32
                    || image.format() == QImage::Format_ARGB32_Premultiplied
            ? image
            : image.convertToFormat(QImage::Format_ARGB32);

    std::vector<int32_t> queue;
    queue.reserve(m_values.size());
    for (int y = 0; y < h; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (qAlpha(line[x]) > 128) {
                const int32_t index = y * w + x;
                m_values[index] = 0;
                queue.push_back(index);
            }
        }
    }
    m_hasMappedPixel = !queue.empty();
    // Every pixel enters the queue at most once: its first value is already its final one.
    for (size_t head = 0; head < queue.size(); ++head) {
        const int32_t index = queue[head];
        const int px = index % w;
        const int py = index / w;
        const float next = m_values[index] + 1;
        for (int y = qMax(0, py - 1); y <= qMin(h - 1, py + 1); ++y) {
            for (int x = qMax(0, px - 1); x <= qMin(w - 1, px + 1); ++x) {
                const int32_t neighbour = y * w + x;
                if (m_values[neighbour] > next) {
                    m_values[neighbour] = next;
                    queue.push_back(neighbour);
                }
            }
        }
    }
}
