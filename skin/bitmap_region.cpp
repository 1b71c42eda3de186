#include "skin/bitmap_region.h"

#include <vector>

namespace {
// Rectangles are turned into a region and united with the result in batches: one union per
// rectangle would make large skins slow to shape.
constexpr int kBatchRects = 2000;
constexpr QRgb kColourBits = 0x00FFFFFF;

void FlushBatch(std::vector<QRect>& batch, QRegion& result) {
    if (batch.empty()) {
        return;
    }
    QRegion part;
    part.setRects(batch.data(), static_cast<int>(batch.size()));
    result = result.isEmpty() ? part : result.united(part);
    batch.clear();
}
}  // namespace

QRegion CreateRegionFromBitmap(const QImage& bitmap, QRgb colour, bool exclude) {
    if (bitmap.isNull()) {
        return QRegion();
    }
    // Comparing 32-bit words directly keeps the scan cheap whatever the source format.
    const QImage image = bitmap.convertToFormat(QImage::Format_RGB32);
    const QRgb key = colour & kColourBits;
    const int width = image.width();
    std::vector<QRect> batch;
    batch.reserve(kBatchRects);
    QRegion result;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < width) {
            const int start = x;
            while (x < width && (((row[x] & kColourBits) == key) != exclude)) {
                ++x;
            }
            if (x > start) {
                batch.emplace_back(start, y, x - start, 1);
                if (static_cast<int>(batch.size()) == kBatchRects) {
                    FlushBatch(batch, result);
                }
            }
            ++x;  // the pixel that ended the run does not qualify
        }
    }
    FlushBatch(batch, result);
    return result;
}
