#pragma once

#include <QImage>
#include <QSize>

#include <vector>

// Chessboard distance, in pixels, from every pixel of an image to the nearest mapped pixel
// (alpha above 128): 0 on the map, the number of king's moves elsewhere, +infinity everywhere
// when nothing is mapped. Built in two sweeps over the rows: linear in the number of pixels.
class DistanceField
{
public:
    void build(const QImage &image);

    QSize gridSize() const { return m_size; }
    bool isEmpty() const { return m_values.empty(); }
    // Row-major, row 0 the image's top row.
    float value(int column, int row) const
    {
        return m_values[static_cast<size_t>(row) * m_size.width() + column];
    }
    const std::vector<float> &values() const { return m_values; }
    bool hasMappedPixel() const { return m_hasMappedPixel; }

private:
    QSize m_size;
    std::vector<float> m_values;
    bool m_hasMappedPixel = false;
};
