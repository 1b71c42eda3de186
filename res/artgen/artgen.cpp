// Draws every bitmap and icon of the resource module, at 1x and 2x, and writes the resource
// list that the build compiles into the module. Usage: kjartgen OUTPUT_FOLDER
//
// One look for the main window (dialog 129, 680 x 408): a deep slate title band, a cool light
// body, white cards, soft tonal buttons whose captions the buttons draw themselves, and a
// steel-blue accent that the progress bar shares. Button bitmaps are transparent outside their
// rounded shape, so their anti-aliased edges blend into the background; each mask is that
// shape grown to every pixel the edge touches, so the window region never clips the drawing.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using DrawFn = std::function<void(QPainter&, QSizeF)>;

enum class Kind { Opaque, Transparent, Mask };

struct Art {
    const char* folder;  // "bitmap" or "icon"
    int id;
    int width;
    int height;
    Kind kind;
    DrawFn draw;  // for masks: draws the shape, whose covered pixels become black
};

// The palette of the whole window.
namespace colour {
const QColor kTitleTop(40, 57, 82);
const QColor kTitleBottom(29, 43, 63);
const QColor kTitleEdge(64, 86, 116);
const QColor kBodyTop(241, 244, 248);
const QColor kBodyBottom(230, 235, 241);
const QColor kCardBorder(200, 209, 220);
const QColor kWindowEdge(20, 30, 45);
const QColor kTrayTop(241, 244, 248);
const QColor kTrayBottom(232, 237, 243);
const QColor kShadow(30, 45, 70);
const QColor kAccent(95, 147, 199);  // shared with the progress bar's background
const QColor kAccentDark(52, 98, 150);
const QColor kGlyph(62, 86, 115);
const QColor kGo(62, 155, 99);
const QColor kStop(196, 70, 59);
const QColor kTitleGlyph(226, 233, 242);
const QColor kHeaderTop(251, 252, 253);
const QColor kHeaderBottom(234, 238, 243);
const QColor kHeaderLine(197, 207, 219);
}  // namespace colour

// Where the window's controls sit (the geometry of dialog 129), for the cards drawn under them.
constexpr QRectF kListRect(16, 48, 580, 240);
constexpr QRectF kIconPanel(606, 48, 60, 240);
constexpr qreal kSeparatorY = 237.5;  // between the move buttons and the play button
constexpr QRectF kProgressRect(16, 328, 580, 14);
constexpr qreal kTitleHeight = 40;
constexpr qreal kFooterTop = 348;

constexpr qreal kPushRadius = 8;    // Add, Remove, Clear, Join/Stop (100 x 36)
constexpr qreal kHomeRadius = 6;    // home page (150 x 28)
constexpr qreal kSmallRadius = 5;   // menu, minimise, close (24 x 20)
constexpr qreal kStatusRadius = 6;  // status line (580 x 24)

QPainterPath RoundedShape(QSizeF size, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), size), radius, radius);
    return path;
}

// A soft shadow under a card: a few widening, fading outlines.
void SoftShadow(QPainter& p, const QRectF& rect, qreal radius) {
    p.setPen(Qt::NoPen);
    for (int step = 4; step >= 1; --step) {
        QColor shade = colour::kShadow;
        shade.setAlphaF(0.035 * (5 - step));
        p.setBrush(shade);
        p.drawRoundedRect(rect.adjusted(-step, -step + 1, step, step + 1), radius + step,
                          radius + step);
    }
}

void Card(QPainter& p, const QRectF& rect, qreal radius, const QBrush& fill) {
    SoftShadow(p, rect, radius);
    p.setPen(QPen(colour::kCardBorder, 1));
    p.setBrush(fill);
    p.drawRoundedRect(rect.adjusted(-0.5, -0.5, 0.5, 0.5), radius, radius);
}

void Background(QPainter& p, QSizeF s) {
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient body(0, kTitleHeight, 0, s.height());
    body.setColorAt(0, colour::kBodyTop);
    body.setColorAt(1, colour::kBodyBottom);
    p.fillRect(QRectF(QPointF(0, 0), s), body);

    // Footer under the progress bar, a shade deeper, holding the command buttons.
    QColor footer = colour::kBodyBottom.darker(103);
    p.fillRect(QRectF(0, kFooterTop, s.width(), s.height() - kFooterTop), footer);
    p.fillRect(QRectF(0, kFooterTop, s.width(), 1), colour::kCardBorder);
    p.fillRect(QRectF(0, kFooterTop + 1, s.width(), 1), QColor(255, 255, 255, 150));

    QLinearGradient title(0, 0, 0, kTitleHeight);
    title.setColorAt(0, colour::kTitleTop);
    title.setColorAt(1, colour::kTitleBottom);
    p.fillRect(QRectF(0, 0, s.width(), kTitleHeight), title);
    p.fillRect(QRectF(0, 0, s.width(), 1), colour::kTitleEdge);
    // A thin accent line closes the title band.
    p.fillRect(QRectF(0, kTitleHeight - 2, s.width(), 2), colour::kAccent);

    QFont subtitle(QStringLiteral("DejaVu Sans"));
    subtitle.setPixelSize(11);
    subtitle.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    p.setFont(subtitle);
    p.setPen(QColor(150, 170, 196));
    p.drawText(QRectF(176, 0, 380, kTitleHeight - 2), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("AVI  \u00B7  MPEG  \u00B7  RM  \u00B7  WMV"));

    Card(p, kListRect, 2, Qt::white);
    // The tray of icon buttons is a shade below white, so their light edges show when raised.
    QLinearGradient tray(0, kIconPanel.top(), 0, kIconPanel.bottom());
    tray.setColorAt(0, colour::kTrayTop);
    tray.setColorAt(1, colour::kTrayBottom);
    Card(p, kIconPanel, 8, tray);
    p.setPen(QPen(colour::kCardBorder, 1));
    p.drawLine(QPointF(kIconPanel.left() + 10, kSeparatorY),
               QPointF(kIconPanel.right() - 10, kSeparatorY));

    // A recessed track for the progress bar, which fills the inside itself.
    p.setPen(QPen(QColor(168, 184, 204), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(kProgressRect.adjusted(-0.5, -0.5, 0.5, 0.5));

    // The window has no frame of its own: a hairline keeps its edge clear on light desktops.
    p.setPen(QPen(colour::kWindowEdge, 1));
    p.drawRect(QRectF(QPointF(0.5, 0.5), s - QSizeF(1, 1)));
}

struct Tone {
    QColor top;
    QColor bottom;
    QColor border;
};

// A tonal push button: a gentle vertical gradient, a thin border and a highlight along the top.
void PushFace(QPainter& p, QSizeF s, qreal radius, const Tone& tone) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer(QPointF(0.5, 0.5), s - QSizeF(1, 1));
    QLinearGradient fill(0, 0, 0, s.height());
    fill.setColorAt(0, tone.top);
    fill.setColorAt(1, tone.bottom);
    p.setPen(QPen(tone.border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(outer, radius - 0.5, radius - 0.5);
    p.setPen(QPen(QColor(255, 255, 255, 170), 1));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(radius, 1.5), QPointF(s.width() - radius, 1.5));
}

DrawFn Push(qreal radius, Tone tone) {
    return [radius, tone](QPainter& p, QSizeF s) { PushFace(p, s, radius, tone); };
}

DrawFn Shape(qreal radius) {
    return [radius](QPainter& p, QSizeF s) {
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(RoundedShape(s, radius), Qt::black);
    };
}

// The home-page button: the maker's mark and name on the title band.
void Brand(QPainter& p, QSizeF s, bool hover) {
    p.setRenderHint(QPainter::Antialiasing);
    if (hover) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 28));
        p.drawRoundedRect(QRectF(QPointF(0, 0), s), kHomeRadius, kHomeRadius);
    }
    // Two overlapping film frames: clips joined into one.
    const qreal mid = s.height() / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(colour::kAccent);
    p.drawRoundedRect(QRectF(6, mid - 8, 13, 11), 2.5, 2.5);
    QColor second = colour::kGo.lighter(115);
    p.setBrush(second);
    p.drawRoundedRect(QRectF(12, mid - 3, 13, 11), 2.5, 2.5);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawRoundedRect(QRectF(12, mid - 3, 7, 6), 1, 1);

    QFont name(QStringLiteral("DejaVu Sans"));
    name.setPixelSize(13);
    name.setBold(true);
    p.setFont(name);
    p.setPen(hover ? Qt::white : QColor(236, 241, 247));
    p.drawText(QRectF(32, 0, s.width() - 36, s.height()), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Kelvane Joiner"));
}

enum class TitleGlyph { Menu, Minimise, Close };

// Menu, minimise and close on the title band: light glyphs, a soft plate while hovered.
void TitleButton(QPainter& p, QSizeF s, TitleGlyph glyph, bool hover) {
    p.setRenderHint(QPainter::Antialiasing);
    if (hover) {
        p.setPen(Qt::NoPen);
        p.setBrush(glyph == TitleGlyph::Close ? colour::kStop : QColor(74, 98, 130));
        p.drawRoundedRect(QRectF(QPointF(0, 0), s), kSmallRadius, kSmallRadius);
    }
    const qreal cx = s.width() / 2;
    const qreal cy = s.height() / 2;
    p.setPen(QPen(hover ? Qt::white : colour::kTitleGlyph, 1.6, Qt::SolidLine, Qt::RoundCap));
    switch (glyph) {
        case TitleGlyph::Menu:
            for (qreal dy : {-4.0, 0.0, 4.0}) {
                p.drawLine(QPointF(cx - 5.5, cy + dy), QPointF(cx + 5.5, cy + dy));
            }
            break;
        case TitleGlyph::Minimise:
            p.drawLine(QPointF(cx - 5, cy + 3.5), QPointF(cx + 5, cy + 3.5));
            break;
        case TitleGlyph::Close:
            p.drawLine(QPointF(cx - 4, cy - 4), QPointF(cx + 4, cy + 4));
            p.drawLine(QPointF(cx + 4, cy - 4), QPointF(cx - 4, cy + 4));
            break;
    }
}

// The status line: a white plate; its text runs the full width, so it carries no marks.
void StatusPlate(QPainter& p, QSizeF s) {
    PushFace(p, s, kStatusRadius,
             {QColor(255, 255, 255), QColor(247, 249, 252), colour::kCardBorder});
}

// One tile of the list header, repeated across each column and stretched to its height.
void HeaderTile(QPainter& p, QSizeF s) {
    QLinearGradient fill(0, 0, 0, s.height());
    fill.setColorAt(0, colour::kHeaderTop);
    fill.setColorAt(1, colour::kHeaderBottom);
    p.fillRect(QRectF(QPointF(0, 0), s), fill);
    p.fillRect(QRectF(0, s.height() - 1, s.width(), 1), colour::kHeaderLine);
}

enum class Move { Up, Down, Top, Bottom };

// Move icons: an arrow with a stem; the moves to an end add a bar at that end.
void MoveIcon(QPainter& p, QSizeF s, Move move) {
    p.setRenderHint(QPainter::Antialiasing);
    const bool up = move == Move::Up || move == Move::Top;
    const bool bar = move == Move::Top || move == Move::Bottom;
    const qreal unit = s.width() / 32;
    p.scale(unit, unit);
    if (!up) {
        p.translate(0, 32);
        p.scale(1, -1);
    }
    p.setPen(QPen(colour::kGlyph, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const qreal tip = bar ? 11 : 7;
    p.drawLine(QPointF(16, tip + 1), QPointF(16, 26));
    QPainterPath head;
    head.moveTo(8.5, tip + 7.5);
    head.lineTo(16, tip);
    head.lineTo(23.5, tip + 7.5);
    p.drawPath(head);
    if (bar) {
        p.drawLine(QPointF(8, 6), QPointF(24, 6));
    }
}

void PlayIcon(QPainter& p, QSizeF s) {
    p.setRenderHint(QPainter::Antialiasing);
    const qreal unit = s.width() / 32;
    p.scale(unit, unit);
    QRadialGradient disc(QPointF(13, 11), 18);
    disc.setColorAt(0, colour::kGo.lighter(120));
    disc.setColorAt(1, colour::kGo);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(QPointF(16, 16), 12.5, 12.5);
    QPainterPath triangle;
    triangle.moveTo(13, 10);
    triangle.lineTo(22.5, 16);
    triangle.lineTo(13, 22);
    triangle.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(triangle);
}

std::vector<Art> Catalogue() {
    const Tone neutral{QColor(255, 255, 255), QColor(236, 241, 247), QColor(176, 190, 207)};
    const Tone neutralHover{QColor(246, 250, 255), QColor(220, 232, 246), colour::kAccent};
    const Tone disabled{QColor(234, 237, 241), QColor(228, 232, 237), QColor(206, 212, 220)};
    const Tone go{QColor(226, 245, 232), QColor(196, 232, 208), QColor(106, 182, 134)};
    const Tone goHover{QColor(236, 250, 240), QColor(205, 240, 216), colour::kGo};
    const Tone stop{QColor(252, 231, 228), QColor(245, 204, 199), QColor(220, 134, 124)};
    const Tone stopHover{QColor(255, 240, 238), QColor(250, 214, 209), colour::kStop};

    std::vector<Art> arts = {
        {"bitmap", 153, 680, 408, Kind::Opaque, Background},
        {"bitmap", 159, 8, 24, Kind::Opaque, HeaderTile},
        // Masks: 145 push buttons, 149 home page, 158 title-band buttons, 179 status line.
        {"bitmap", 145, 100, 36, Kind::Mask, Shape(kPushRadius)},
        {"bitmap", 149, 150, 28, Kind::Mask, Shape(kHomeRadius)},
        {"bitmap", 158, 24, 20, Kind::Mask, Shape(kSmallRadius)},
        {"bitmap", 179, 580, 24, Kind::Mask, Shape(kStatusRadius)},
        {"bitmap", 150, 150, 28, Kind::Transparent,
         [](QPainter& p, QSizeF s) { Brand(p, s, false); }},
        {"bitmap", 148, 150, 28, Kind::Transparent,
         [](QPainter& p, QSizeF s) { Brand(p, s, true); }},
        {"bitmap", 177, 580, 24, Kind::Transparent, StatusPlate},
    };
    // Add, Remove, Clear: normal, hover, disabled.
    const int pushButtons[][3] = {{164, 162, 163}, {167, 165, 166}, {174, 176, 175}};
    for (const auto& ids : pushButtons) {
        arts.push_back({"bitmap", ids[0], 100, 36, Kind::Transparent, Push(kPushRadius, neutral)});
        arts.push_back(
            {"bitmap", ids[1], 100, 36, Kind::Transparent, Push(kPushRadius, neutralHover)});
        arts.push_back({"bitmap", ids[2], 100, 36, Kind::Transparent, Push(kPushRadius, disabled)});
    }
    // The join button: green to start, red while a job runs (to stop it).
    arts.push_back({"bitmap", 169, 100, 36, Kind::Transparent, Push(kPushRadius, go)});
    arts.push_back({"bitmap", 168, 100, 36, Kind::Transparent, Push(kPushRadius, goHover)});
    arts.push_back({"bitmap", 151, 100, 36, Kind::Transparent, Push(kPushRadius, stop)});
    arts.push_back({"bitmap", 152, 100, 36, Kind::Transparent, Push(kPushRadius, stopHover)});
    // Title band: menu 161/160, minimise 156/154, close 157/155 (normal/hover).
    const struct {
        int normal;
        int hover;
        TitleGlyph glyph;
    } titleButtons[] = {{161, 160, TitleGlyph::Menu},
                        {156, 154, TitleGlyph::Minimise},
                        {157, 155, TitleGlyph::Close}};
    for (const auto& button : titleButtons) {
        const TitleGlyph glyph = button.glyph;
        arts.push_back({"bitmap", button.normal, 24, 20, Kind::Transparent,
                        [glyph](QPainter& p, QSizeF s) { TitleButton(p, s, glyph, false); }});
        arts.push_back({"bitmap", button.hover, 24, 20, Kind::Transparent,
                        [glyph](QPainter& p, QSizeF s) { TitleButton(p, s, glyph, true); }});
    }
    const struct {
        int id;
        Move move;
    } moves[] = {{134, Move::Up}, {133, Move::Down}, {135, Move::Top}, {136, Move::Bottom}};
    for (const auto& icon : moves) {
        const Move move = icon.move;
        arts.push_back({"icon", icon.id, 32, 32, Kind::Transparent,
                        [move](QPainter& p, QSizeF s) { MoveIcon(p, s, move); }});
    }
    arts.push_back({"icon", 180, 32, 32, Kind::Transparent, PlayIcon});
    return arts;
}

// Every pixel the shape touches, however faintly, becomes black; the rest white.
QImage Threshold(const QImage& coverage) {
    QImage mask(coverage.size(), QImage::Format_RGB32);
    for (int y = 0; y < coverage.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(coverage.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(mask.scanLine(y));
        for (int x = 0; x < coverage.width(); ++x) {
            out[x] = qAlpha(in[x]) > 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        }
    }
    return mask;
}

bool Render(const Art& art, int scale, const QString& path) {
    QImage image(art.width * scale, art.height * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(art.kind == Kind::Opaque ? Qt::white : Qt::transparent);
    QPainter painter(&image);
    painter.scale(scale, scale);
    art.draw(painter, QSizeF(art.width, art.height));
    painter.end();
    if (art.kind == Kind::Mask) {
        image = Threshold(image);
    } else if (art.kind == Kind::Opaque) {
        image = image.convertToFormat(QImage::Format_RGB32);
    }
    return image.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kjartgen OUTPUT_FOLDER\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("bitmap"));
    out.mkpath(QStringLiteral("icon"));
    QString qrc;
    QTextStream list(&qrc);
    list << "<RCC>\n  <qresource prefix=\"/\">\n";
    for (const Art& art : Catalogue()) {
        for (int scale : {1, 2}) {
            QString name = QStringLiteral("%1/%2%3.png")
                               .arg(QLatin1String(art.folder))
                               .arg(art.id)
                               .arg(scale == 2 ? QStringLiteral("@2x") : QString());
            if (!Render(art, scale, out.filePath(name))) {
                std::fprintf(stderr, "kjartgen: cannot write %s\n", qPrintable(out.filePath(name)));
                return 1;
            }
            list << "    <file>" << name << "</file>\n";
        }
    }
    list << "  </qresource>\n</RCC>\n";
    QFile file(out.filePath(QStringLiteral("art.qrc")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(qrc.toUtf8()) < 0) {
        std::fprintf(stderr, "kjartgen: cannot write the resource list\n");
        return 1;
    }
    return 0;
}
