// A frameless dialog drawn on a background bitmap: it can take the bitmap's shape, lets its
// static texts show the background through, and can be dragged by any point of its body.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRgb>
#include <QString>

class CBkDialog : public QDialog {
    Q_OBJECT

public:
    explicit CBkDialog(QWidget* parent = nullptr);
    // The first background source given is used: a resource name, a resource id, a pixmap.
    CBkDialog(QWidget* parent, const QString& resourceName, int resourceId = 0,
              const QPixmap& bitmap = QPixmap());

    // Background from the resource module by name: a bitmap number, "153" or "#153". On
    // success the window also takes the bitmap's shape. With no name, loads `pictureFile`
    // instead (see LoadBackgroundPicture) and keeps the shape.
    bool SetBackgroundBitmap(const QString& resourceName, const QString& pictureFile = QString());
    // Background from the resource module by number; the window keeps its shape.
    bool SetBackgroundBitmap(int resourceId);
    // A given pixmap as the background; the window keeps its shape.
    void SetBackgroundPixmap(const QPixmap& bitmap);
    // A picture file as the background: the dialog takes the picture's size, and the picture
    // is drawn on white.
    bool LoadBackgroundPicture(const QString& path);

    // Shapes the window to the background's pixels that are not the key colour, or makes it a
    // plain rectangle when shaping is off. Without a background the shape is kept.
    void ApplyWindowShape();

    void SetKeyColor(QRgb color) { m_keyColor = color; }
    QRgb GetKeyColor() const { return m_keyColor; }
    void SetShapeFromBitmap(bool on) { m_bShapeFromBitmap = on; }
    void SetTransparentStatics(bool on);
    void SetDragAnywhere(bool on) { m_bDragAnywhere = on; }
    // A window larger than its background gets the background drawn to fit: the column of
    // pixels at x and the row at y are repeated over the extra width and height. A null point
    // (the default) draws the background at its own size.
    void SetBackgroundStretch(QPoint at) { m_stretchAt = at; }
    bool HasBackground() const { return m_bHasBackground; }
    const QPixmap& Background() const { return m_background; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ReplaceBackground(const QPixmap& bitmap, const QImage& shape);
    void MakeStaticTransparent(QWidget* widget) const;

    bool m_bShapeFromBitmap = true;
    bool m_bTransparentStatics = true;
    QRgb m_keyColor = qRgb(255, 255, 255);
    bool m_bDragAnywhere = true;
    bool m_bHasBackground = false;
    QPixmap m_background;
    QImage m_shape;  // the background at one pixel per logical pixel, for the window shape
    bool m_bDragging = false;
    QPoint m_dragOffset;  // cursor position relative to the window while moving it by hand
    QPoint m_stretchAt;
};
