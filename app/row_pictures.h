// The pictures of the rows: each file's picture (a frame about a tenth in) is decoded through the
// conversion module on a worker thread, one file after another, and handed to the window when it
// is ready, so that adding files never waits for a picture.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

// The size a picture is decoded at; the rows show it smaller, the selected row larger.
inline constexpr int kDecodedPictureWidth = 192;
inline constexpr int kDecodedPictureHeight = 144;
// Where in a file its picture is taken from.
inline constexpr double kPictureFraction = 0.1;

class RowPictures : public QObject {
    Q_OBJECT
public:
    explicit RowPictures(QObject* parent = nullptr);
    ~RowPictures() override;  // the worker finishes the picture it is on and ends
    RowPictures(const RowPictures&) = delete;
    RowPictures& operator=(const RowPictures&) = delete;

    // Asks for the picture of the file at `path` for the row `key`; Ready follows on the thread
    // of this object (with a null image when the file has no picture to show).
    void Request(quint64 key, const QString& path);
    // The row is gone: its picture is not wanted any more.
    void Forget(quint64 key);
    // True while requests wait, a picture is being decoded or is on its way to the window.
    bool Busy() const;

signals:
    void Ready(quint64 key, const QImage& picture);

private:
    void Run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<quint64, QString>> m_queue;
    std::set<quint64> m_forgotten;
    bool m_working = false;
    quint64 m_current = 0;  // the row whose picture is being decoded
    int m_onTheWay = 0;     // decoded, not yet handed to the window
    bool m_stop = false;
    std::thread m_worker;
};

// The picture of the file at `path` through the conversion module, or a null image.
QImage DecodeRowPicture(const QString& path);
