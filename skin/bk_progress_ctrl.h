// The join progress bar: a plain bar over a fixed steel-blue background.
#pragma once

#include <QColor>
#include <QProgressBar>

class CBkProgressCtrl : public QProgressBar {
    Q_OBJECT

public:
    static constexpr QRgb kBackgroundColor = 0xFF5F93C7;  // red 95, green 147, blue 199

    explicit CBkProgressCtrl(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
