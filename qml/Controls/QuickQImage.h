#pragma once

#include <QImage>
#include <QQuickItem>
#include <QRectF>
#include <QtQml/qqmlregistration.h>

class QSGTexture;

// Draws a QImage handed over from the back end. The texture is made again only for a new image
// or filtering; a new size or fill mode only moves the rectangles.
class QuickQImage : public QQuickItem
{
    Q_OBJECT
    QML_NAMED_ELEMENT(QImage)
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY imageChanged)
    Q_PROPERTY(qreal implicitWidth READ implicitWidth NOTIFY implicitWidthChanged)
    Q_PROPERTY(qreal implicitHeight READ implicitHeight NOTIFY implicitHeightChanged)
    Q_PROPERTY(FillMode fillMode READ fillMode WRITE setFillMode NOTIFY fillModeChanged)
    Q_PROPERTY(bool smooth READ smooth WRITE setSmooth NOTIFY smoothChanged)

public:
    enum FillMode : qint32 { Stretch = 0, PreserveAspectFit = 1, PreserveAspectCrop = 2, Pad = 3 };
    Q_ENUM(FillMode)

    struct Placement
    {
        QRectF target;
        QRectF source;
    };

    explicit QuickQImage(QQuickItem *parent = nullptr);

    QImage image() const { return m_image; }
    void setImage(const QImage &image);
    FillMode fillMode() const { return m_fillMode; }
    void setFillMode(FillMode mode);
    bool smooth() const { return m_smooth; }
    void setSmooth(bool smooth);

    // Where a picture of imageSize lands in an item of itemSize; empty for an unknown mode.
    static std::optional<Placement> placement(FillMode mode, const QSizeF &itemSize,
                                              const QSize &imageSize);

signals:
    void imageChanged();
    void fillModeChanged();
    void smoothChanged();

protected:
    QSGNode *updatePaintNode(QSGNode *oldNode, UpdatePaintNodeData *data) override;

private:
    QImage m_image;
    FillMode m_fillMode = Stretch;
    QSGTexture *m_texture = nullptr; // owned by the image node
    bool m_textureDirty = false;
    bool m_smooth = true;
};
