#include "skin/picture_file.h"

#include <QImageReader>
#include <QPaintDevice>
#include <QPainter>
#include <cmath>

namespace {
constexpr int kHimetricPerInch = 2540;
constexpr double kHimetricPerMetre = 100000.0;
constexpr int kDefaultDpi = 96;  // pictures that do not say their resolution, and printers

// a * b / c rounded to the nearest integer, halves away from zero, without overflow.
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

int ToHimetric(int pixels, int dotsPerMetre) {
    if (dotsPerMetre <= 0) {
        return MulDiv(pixels, kHimetricPerInch, kDefaultDpi);
    }
    return static_cast<int>(std::lround(pixels * kHimetricPerMetre / dotsPerMetre));
}
}  // namespace

bool CPictureFile::Load(const QString& path) {
    m_picture = QImage();
    m_nWidth = m_nHeight = 0;
    m_bLoaded = false;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage picture = reader.read();
    if (picture.isNull()) {
        return false;
    }
    m_nWidth = ToHimetric(picture.width(), picture.dotsPerMeterX());
    m_nHeight = ToHimetric(picture.height(), picture.dotsPerMeterY());
    m_picture = std::move(picture);
    m_bLoaded = true;
    return true;
}

QSize CPictureFile::GetSizeInPixels(const QPaintDevice* device) const {
    int dpiX = kDefaultDpi;
    int dpiY = kDefaultDpi;
    if (device != nullptr && device->devType() != QInternal::Printer) {
        dpiX = device->logicalDpiX();
        dpiY = device->logicalDpiY();
    }
    return QSize(MulDiv(m_nWidth, dpiX, kHimetricPerInch),
                 MulDiv(m_nHeight, dpiY, kHimetricPerInch));
}

bool CPictureFile::Render(QPainter& painter, const QRect& dest) const {
    if (!m_bLoaded) {
        return false;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(dest, m_picture);
    painter.restore();
    return true;
}
