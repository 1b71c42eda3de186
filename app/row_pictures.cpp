#include "app/row_pictures.h"

#include <vector>

#include "mcljoin/mcl_api.h"

QImage DecodeRowPicture(const QString& path) {
    MclGetPictureFn grab = MclApi.MclGetPicture;
    if (grab == nullptr) {
        return {};  // no conversion module: rows without pictures
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(kDecodedPictureWidth) * kDecodedPictureHeight *
                                4);
    int32_t width = 0;
    int32_t height = 0;
    QByteArray file = path.toLocal8Bit();
    if (grab(file.constData(), kPictureFraction, kDecodedPictureWidth, kDecodedPictureHeight,
             pixels.data(), static_cast<int32_t>(pixels.size()), &width, &height) != 1 ||
        width <= 0 || height <= 0 || width > kDecodedPictureWidth ||
        height > kDecodedPictureHeight) {
        return {};
    }
    // B, G, R, A bytes are a 32-bit ARGB word on this little-endian machine.
    QImage picture(pixels.data(), width, height, width * 4, QImage::Format_RGB32);
    return picture.copy();
}

RowPictures::RowPictures(QObject* parent) : QObject(parent), m_worker([this] { Run(); }) {}

RowPictures::~RowPictures() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    m_worker.join();
}

void RowPictures::Request(quint64 key, const QString& path) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.emplace_back(key, path);
    }
    m_wake.notify_all();
}

void RowPictures::Forget(quint64 key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::erase_if(m_queue, [key](const auto& request) { return request.first == key; });
    if (m_working && m_current == key) {
        m_forgotten.insert(key);  // dropped when its decoding ends
    }
}

bool RowPictures::Busy() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_working || !m_queue.empty() || m_onTheWay > 0;
}

void RowPictures::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop) {
            return;
        }
        auto [key, path] = m_queue.front();
        m_queue.pop_front();
        m_working = true;
        m_current = key;
        lock.unlock();
        QImage picture = DecodeRowPicture(path);
        lock.lock();
        m_working = false;
        if (!m_stop && m_forgotten.erase(key) == 0) {
            // Handed over on the window's thread; until it arrives there the picture still
            // counts as pending, so Busy() never ends before the row has it.
            ++m_onTheWay;
            QMetaObject::invokeMethod(
                this,
                [this, key, picture] {
                    {
                        std::lock_guard<std::mutex> delivered(m_mutex);
                        --m_onTheWay;
                    }
                    emit Ready(key, picture);
                },
                Qt::QueuedConnection);
        }
    }
}
