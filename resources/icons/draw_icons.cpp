// Draws Quaylet's icons: the monochrome status pictures at 1x and 2x, and the application icon.
// Usage: quaylet_draw_icons <resources/icons directory>; the PNGs it writes are committed.
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

// One neutral tone, readable on light and dark panels; only the alpha channel carries the
// shape, so the pictures also serve as masks.
const QColor kInk(0x80, 0x80, 0x80);
constexpr double kGrid = 22.0; // status pictures are drawn on a 22-unit grid

using Glyph = std::function<void(QPainter&)>;

// The dock: a low box with two ports and a light, seen from the front.
void drawDock(QPainter& p) {
    QPainterPath body;
    body.addRoundedRect(QRectF(2.5, 13.0, 17.0, 6.5), 1.8, 1.8);
    p.fillPath(body, p.brush());
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.fillRect(QRectF(5.0, 15.5, 3.0, 1.6), Qt::black);
    p.fillRect(QRectF(9.5, 15.5, 3.0, 1.6), Qt::black);
    p.drawEllipse(QPointF(16.0, 16.3), 0.9, 0.9);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// A cable whose plug sits in the top of the dock.
void drawPluggedCable(QPainter& p) {
    p.fillRect(QRectF(10.2, 0.5, 1.6, 5.0), p.brush());
    QPainterPath plug;
    plug.addRoundedRect(QRectF(8.0, 5.0, 6.0, 5.0), 1.0, 1.0);
    p.fillPath(plug, p.brush());
    p.fillRect(QRectF(9.5, 10.0, 3.0, 3.0), p.brush());
}

void drawNormal(QPainter& p) {
    drawDock(p);
    drawPluggedCable(p);
}

void drawSafe(QPainter& p) {
    drawDock(p);
    QPen pen(p.brush().color(), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    QPainterPath check(QPointF(6.0, 6.5));
    check.lineTo(9.5, 10.0);
    check.lineTo(16.0, 2.5);
    p.strokePath(check, pen);
}

void drawUnsafe(QPainter& p) {
    drawDock(p);
    QPainterPath bar;
    bar.addRoundedRect(QRectF(9.9, 0.8, 2.2, 7.4), 1.1, 1.1);
    p.fillPath(bar, p.brush());
    p.drawEllipse(QPointF(11.0, 10.4), 1.3, 1.3);
}

// A ring of six dots above the dock; the leading dot turns clockwise one step per frame and
// the others fade behind it.
Glyph busyFrame(int frame) {
    return [frame](QPainter& p) {
        drawDock(p);
        constexpr std::array<double, 6> kTrail{1.0, 0.7, 0.5, 0.38, 0.3, 0.25};
        const QColor ink = p.brush().color();
        for (int step = 0; step < 6; ++step) {
            const int position = (frame - step + 6) % 6;
            const double angle = position * 60.0 * 3.14159265358979 / 180.0;
            const QPointF centre(11.0 + 4.3 * std::sin(angle), 6.3 - 4.3 * std::cos(angle));
            QColor dot = ink;
            dot.setAlphaF(static_cast<float>(kTrail[static_cast<std::size_t>(step)]));
            p.setBrush(dot);
            p.drawEllipse(centre, 1.35, 1.35);
        }
        p.setBrush(ink);
    };
}

QImage render(const Glyph& glyph, int pixels, const QColor& ink) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(pixels / kGrid, pixels / kGrid);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    glyph(p);
    return image;
}

// The application icon: the status picture in white on a dark rounded tile.
QImage renderApplicationIcon(int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double edge = pixels / 16.0;
    QPainterPath tile;
    tile.addRoundedRect(QRectF(edge, edge, pixels - 2 * edge, pixels - 2 * edge), pixels / 5.0,
                        pixels / 5.0);
    p.fillPath(tile, QColor(0x2b, 0x33, 0x40));
    const int inner = pixels * 5 / 8;
    const int offset = (pixels - inner) / 2;
    p.drawImage(offset, offset, render(drawNormal, inner, Qt::white));
    return image;
}

bool save(const QImage& image, const QString& path) {
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quaylet_draw_icons <resources/icons directory>\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    bool ok = root.mkpath(QStringLiteral("status")) && root.mkpath(QStringLiteral("app"));
    std::vector<std::pair<QString, Glyph>> glyphs{{QStringLiteral("StatusItem"), drawNormal},
                                                  {QStringLiteral("StatusSafe"), drawSafe},
                                                  {QStringLiteral("StatusUnsafe"), drawUnsafe}};
    for (int frame = 0; frame < 6; ++frame) {
        glyphs.emplace_back(QStringLiteral("StatusBusy%1").arg(frame + 1), busyFrame(frame));
    }
    for (const auto& [name, glyph] : glyphs) {
        ok = save(render(glyph, 22, kInk), root.filePath("status/" + name + ".png")) && ok;
        ok = save(render(glyph, 44, kInk), root.filePath("status/" + name + "@2x.png")) && ok;
    }
    for (const int size : {48, 128, 256}) {
        ok = save(renderApplicationIcon(size),
                  root.filePath(QStringLiteral("app/quaylet-%1.png").arg(size))) &&
             ok;
    }
    return ok ? 0 : 1;
}
