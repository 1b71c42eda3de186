#include "skin/bk_dialog.h"

#include <QChildEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <algorithm>
#include <array>

#include "res/artwork.h"
#include "skin/bitmap_region.h"
#include "skin/picture_file.h"
#include "skin/skin_palette.h"

namespace {
// A resource name is a bitmap number, optionally written "#153" as resource names often are.
int BitmapNumber(const QString& name) {
    QString digits = name.trimmed();
    if (digits.startsWith(QLatin1Char('#'))) {
        digits.remove(0, 1);
    }
    bool ok = false;
    const int id = digits.toInt(&ok);
    return ok && id > 0 ? id : 0;
}

// The pixmap at one pixel per logical pixel, which is what the window shape is measured in.
QImage ShapeImage(const QPixmap& bitmap) {
    QImage image = bitmap.toImage();
    const QSize logical = bitmap.deviceIndependentSize().toSize();
    if (image.size() != logical) {
        image = image.scaled(logical, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    image.setDevicePixelRatio(1.0);
    return image;
}
}  // namespace

CBkDialog::CBkDialog(QWidget* parent) : QDialog(parent) {
    // The skin draws the whole window, title area included, in colours of its own.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setPalette(SkinPalette());
}

CBkDialog::CBkDialog(QWidget* parent, const QString& resourceName, int resourceId,
                     const QPixmap& bitmap)
    : CBkDialog(parent) {
    if (!resourceName.isEmpty()) {
        SetBackgroundBitmap(resourceName);
    } else if (resourceId != 0) {
        SetBackgroundBitmap(resourceId);
    } else if (!bitmap.isNull()) {
        SetBackgroundPixmap(bitmap);
    }
}

void CBkDialog::ReplaceBackground(const QPixmap& bitmap, const QImage& shape) {
    m_background = bitmap;
    m_shape = shape;
    m_bHasBackground = !bitmap.isNull();
    update();
}

bool CBkDialog::SetBackgroundBitmap(const QString& resourceName, const QString& pictureFile) {
    if (resourceName.isEmpty()) {
        return LoadBackgroundPicture(pictureFile);
    }
    const int id = BitmapNumber(resourceName);
    const QPixmap bitmap = id != 0 ? res::Bitmap(id) : QPixmap();
    if (bitmap.isNull()) {
        ReplaceBackground(QPixmap(), QImage());
        return false;
    }
    ReplaceBackground(bitmap, res::BitmapImage(id));
    ApplyWindowShape();
    return true;
}

bool CBkDialog::SetBackgroundBitmap(int resourceId) {
    const QPixmap bitmap = resourceId != 0 ? res::Bitmap(resourceId) : QPixmap();
    ReplaceBackground(bitmap, bitmap.isNull() ? QImage() : res::BitmapImage(resourceId));
    return m_bHasBackground;
}

void CBkDialog::SetBackgroundPixmap(const QPixmap& bitmap) {
    ReplaceBackground(bitmap, bitmap.isNull() ? QImage() : ShapeImage(bitmap));
}

bool CBkDialog::LoadBackgroundPicture(const QString& path) {
    CPictureFile picture;
    if (!picture.Load(path)) {
        ReplaceBackground(QPixmap(), QImage());
        return false;
    }
    const QSize size = picture.GetSizeInPixels(this);
    resize(size);
    const qreal ratio = devicePixelRatioF();
    QPixmap bitmap(size * ratio);
    bitmap.setDevicePixelRatio(ratio);
    bitmap.fill(QColor(255, 255, 255));
    {
        QPainter painter(&bitmap);
        picture.Render(painter, QRect(QPoint(0, 0), size));
    }
    ReplaceBackground(bitmap, ShapeImage(bitmap));
    return true;
}

void CBkDialog::ApplyWindowShape() {
    if (!m_bShapeFromBitmap) {
        setMask(QRegion(rect()));
        return;
    }
    if (m_shape.isNull()) {
        return;  // no bitmap: the window keeps its shape
    }
    setMask(CreateRegionFromBitmap(m_shape, m_keyColor, true));
}

void CBkDialog::SetTransparentStatics(bool on) {
    m_bTransparentStatics = on;
    if (on) {
        for (QWidget* child : findChildren<QWidget*>()) {
            MakeStaticTransparent(child);
        }
    }
}

void CBkDialog::MakeStaticTransparent(QWidget* widget) const {
    // Static texts and frames; sliders keep their own background.
    if (qobject_cast<QLabel*>(widget) != nullptr || qobject_cast<QGroupBox*>(widget) != nullptr) {
        widget->setAutoFillBackground(false);
    }
}

bool CBkDialog::event(QEvent* event) {
    if (event->type() == QEvent::ChildPolished && m_bTransparentStatics) {
        auto* child = static_cast<QChildEvent*>(event)->child();
        if (child->isWidgetType()) {
            MakeStaticTransparent(static_cast<QWidget*>(child));
        }
    }
    return QDialog::event(event);
}

void CBkDialog::showEvent(QShowEvent* event) {
    if (m_bTransparentStatics) {
        SetTransparentStatics(true);
    }
    QDialog::showEvent(event);
}

void CBkDialog::paintEvent(QPaintEvent* event) {
    if (!m_bHasBackground) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QSize own = m_background.deviceIndependentSize().toSize();
    const int extraWidth = std::max(0, width() - own.width());
    const int extraHeight = std::max(0, height() - own.height());
    if (m_stretchAt.isNull() || (extraWidth == 0 && extraHeight == 0)) {
        painter.drawPixmap(QPointF(0, 0), m_background);
        return;
    }
    // Three spans in each direction: before the stretch line, the line drawn over the extra
    // room, and the rest moved along by it.
    struct Span {
        int from, to;    // in the background, logical pixels
        int at, length;  // in the window
    };
    auto spans = [](int line, int size, int extra) {
        line = std::clamp(line, 0, size - 1);
        return std::array<Span, 3>{Span{0, line, 0, line}, Span{line, line + 1, line, 1 + extra},
                                   Span{line + 1, size, line + 1 + extra, size - line - 1}};
    };
    const qreal ratio = m_background.devicePixelRatio();
    for (const Span& x : spans(m_stretchAt.x(), own.width(), extraWidth)) {
        for (const Span& y : spans(m_stretchAt.y(), own.height(), extraHeight)) {
            if (x.length <= 0 || y.length <= 0) {
                continue;
            }
            QRectF source(x.from * ratio, y.from * ratio, (x.to - x.from) * ratio,
                          (y.to - y.from) * ratio);
            painter.drawPixmap(QRectF(x.at, y.at, x.length, y.length), m_background, source);
        }
    }
}

void CBkDialog::mousePressEvent(QMouseEvent* event) {
    QDialog::mousePressEvent(event);
    if (!m_bDragAnywhere || event->button() != Qt::LeftButton || !isWindow()) {
        return;
    }
    // The window system moves the window where it can; elsewhere it is moved by hand.
    QWindow* handle = windowHandle();
    if (handle != nullptr && handle->startSystemMove()) {
        return;
    }
    m_bDragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CBkDialog::mouseMoveEvent(QMouseEvent* event) {
    if (m_bDragging && (event->buttons() & Qt::LeftButton) != 0) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CBkDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_bDragging = false;
    }
    QDialog::mouseReleaseEvent(event);
}
