// A picture loaded from an image file and drawn at its natural size.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;
class QPaintDevice;

class CPictureFile {
public:
    // Loads any image format Qt can read; the previous picture is dropped first.
    bool Load(const QString& path);
    bool IsLoaded() const { return m_bLoaded; }

    // The picture's size in hundredths of a millimetre.
    QSize HimetricSize() const { return QSize(m_nWidth, m_nHeight); }

    // The size in pixels at the device's logical resolution (96 dpi for printers and no device).
    QSize GetSizeInPixels(const QPaintDevice* device) const;

    // Draws the whole picture scaled into `dest`; false when nothing is loaded.
    bool Render(QPainter& painter, const QRect& dest) const;

private:
    QImage m_picture;
    int m_nWidth = 0;   // HIMETRIC
    int m_nHeight = 0;  // HIMETRIC
    bool m_bLoaded = false;
};
