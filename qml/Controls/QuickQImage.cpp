#include "QuickQImage.h"

#include <QQuickWindow>
#include <QSGImageNode>
#include <QSGTexture>

QuickQImage::QuickQImage(QQuickItem *parent)
    : QQuickItem(parent)
{
    setFlag(ItemHasContents, false);
}

void QuickQImage::setImage(const QImage &image)
{
    if (image == m_image)
        return;
    m_image = image;
    m_textureDirty = true;
    // A null image must clear the picture already on screen: the item keeps its contents flag
    // until then, since without it the scene graph would never ask for the (empty) node again.
    if (!m_image.isNull())
        setFlag(ItemHasContents, true);
    setImplicitSize(m_image.isNull() ? 0 : m_image.width(),
                    m_image.isNull() ? 0 : m_image.height());
    emit imageChanged();
    update();
}

void QuickQImage::setFillMode(FillMode mode)
{
    if (mode == m_fillMode)
        return;
    m_fillMode = mode;
    emit fillModeChanged();
    update();
}

void QuickQImage::setSmooth(bool smooth)
{
    if (smooth == m_smooth)
        return;
    m_smooth = smooth;
    m_textureDirty = true;
    emit smoothChanged();
    update();
}

std::optional<QuickQImage::Placement> QuickQImage::placement(FillMode mode, const QSizeF &itemSize,
                                                             const QSize &imageSize)
{
    const qreal iw = imageSize.width();
    const qreal ih = imageSize.height();
    const qreal a = iw / ih;
    const qreal w = itemSize.width();
    const qreal h = itemSize.height();
    const QRectF whole(0, 0, iw, ih);
    switch (mode) {
    case Stretch:
        return Placement{ QRectF(0, 0, w, h), whole };
    case PreserveAspectFit:
        if (w / h > a)
            return Placement{ QRectF((w - h * a) * 0.5, 0, h * a, h), whole };
        return Placement{ QRectF(0, (h - w / a) * 0.5, w, w / a), whole };
    case PreserveAspectCrop:
        if (w / h > a)
            return Placement{ QRectF(0, 0, w, w / a), whole };
        return Placement{ QRectF(0, 0, h * a, h), whole };
    case Pad: {
        const QRectF shown = QRectF(0, 0, w, h).intersected(whole);
        return Placement{ shown, shown };
    }
    }
    return std::nullopt;
}

QSGNode *QuickQImage::updatePaintNode(QSGNode *oldNode, UpdatePaintNodeData *)
{
    QQuickWindow *view = window();
    if (!view || m_image.isNull()) {
        // Returning no node removes the old picture; a null image never becomes a texture.
        delete oldNode;
        m_texture = nullptr;
        m_textureDirty = true;
        return nullptr;
    }
    auto *node = static_cast<QSGImageNode *>(oldNode);
    if (!node) {
        node = view->createImageNode();
        m_textureDirty = true;
    }
    if (const auto where = placement(m_fillMode, size(), m_image.size())) {
        node->setRect(where->target);
        node->setSourceRect(where->source);
    }
    if (m_textureDirty) {
        QSGTexture *texture = view->createTextureFromImage(m_image);
        if (!texture) {
            delete node;
            m_texture = nullptr;
            return nullptr;
        }
        m_texture = texture;
        m_texture->setHorizontalWrapMode(QSGTexture::Repeat);
        m_texture->setVerticalWrapMode(QSGTexture::Repeat);
        node->setOwnsTexture(true);
        node->setTexture(m_texture);
        m_textureDirty = false;
    }
    const auto filtering = m_smooth ? QSGTexture::Linear : QSGTexture::Nearest;
    node->setMipmapFiltering(filtering);
    node->setFiltering(filtering);
    return node;
}
