#include "editor/stage/StageView.h"

#include "app/gui/SystemColors.h"
#include "editor/model/MainUnit.h"
#include "editor/model/Outline.h"
#include "platform/GlyphOutline.h"
#include "platform/TextCodec.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Stage coordinates from a project file can be anything; beyond this they
// are far off any stage, and cutting them keeps every sum and product of the
// drawing arithmetic inside 32 bits.
constexpr int64_t kCoordLimit = int64_t(1) << 28;
// The largest font the stage draws, in pixels; larger sizes are drawn at it.
constexpr int kMaxFontPixels = 8192;

int32_t clampCoord(int64_t v) {
    return static_cast<int32_t>(std::clamp(v, -kCoordLimit, kCoordLimit));
}

const TPoint32& pointAt(int32_t i) {
    return *reinterpret_cast<const TPoint32*>(PointList.Block + int64_t(i) * PointList.ItemSize);
}

void addPoint(int32_t x, int32_t y) {
    auto* p = static_cast<TPoint32*>(PointList.Add());
    p->x = x;
    p->y = y;
}

// Integer division by 65536 truncating toward zero.
inline int64_t div16(int64_t n) {
    return (n + ((n >> 63) & 0xFFFF)) >> 16;
}

// ---- Fonts ---------------------------------------------------------------

// A face as the stage uses it: its family and the font-wide metrics that
// turn a cell height into an em size and place the baseline.
struct StageFace {
    QString family;
    double cellPerEm = 1.0;   // (Windows ascent + descent) / units per em
    double ascentPerEm = 0.8; // Windows ascent / units per em
};

int be16(const QByteArray& table, int offset) {
    return (static_cast<uint8_t>(table[offset]) << 8) | static_cast<uint8_t>(table[offset + 1]);
}

// Faces by name, found through the compiler's font layer so that the stage
// shows the face the movie embeds (the default Japanese faces map to the IPA
// fonts, unknown names to the same substitute).
class StageFonts {
public:
    const StageFace& face(const char* cp932Name) {
        const std::string key(platform::cutFaceName(cp932Name ? cp932Name : ""));
        if (auto it = m_faces.find(key); it != m_faces.end()) return it->second;
        return m_faces.emplace(key, lookUp(key)).first->second;
    }

private:
    StageFace lookUp(const std::string& cp932Name) {
        StageFace face;
        try {
            if (!m_outlines) m_outlines = std::make_unique<platform::FontOutlineCache>();
            face.family = QString::fromStdString(m_outlines->face(cp932Name).family());
        } catch (const std::exception&) {
            // No scalable face at all: Qt's default family draws the text.
        }
        QFont font(face.family);
        font.setPixelSize(1000);
        const QRawFont raw = QRawFont::fromFont(font);
        const QByteArray os2 = raw.isValid() ? raw.fontTable("OS/2") : QByteArray();
        const double unitsPerEm = raw.isValid() ? raw.unitsPerEm() : 0.0;
        if (os2.size() >= 78 && unitsPerEm > 0) {
            const int winAscent = be16(os2, 74), winDescent = be16(os2, 76);
            if (winAscent + winDescent > 0) {
                face.cellPerEm = (winAscent + winDescent) / unitsPerEm;
                face.ascentPerEm = winAscent / unitsPerEm;
                return face;
            }
        }
        const QFontMetricsF metrics(font);
        if (metrics.ascent() + metrics.descent() > 0) {
            face.cellPerEm = (metrics.ascent() + metrics.descent()) / 1000.0;
            face.ascentPerEm = metrics.ascent() / 1000.0;
        }
        return face;
    }

    std::unique_ptr<platform::FontOutlineCache> m_outlines;
    std::unordered_map<std::string, StageFace> m_faces;
};

StageFonts& stageFonts() {
    static StageFonts fonts;
    return fonts;
}

// ---- Pictures ------------------------------------------------------------

// The target for direct pixel writes: the image the painter works on, when
// it is a 32-bit image drawn to without a transformation or clipping.
QImage* directTarget(QPainter& painter) {
    QPaintDevice* device = painter.device();
    if (!device || device->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format f = image->format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 &&
        f != QImage::Format_ARGB32_Premultiplied)
        return nullptr;
    if (!painter.worldTransform().isIdentity() || painter.hasClipping()) return nullptr;
    return image;
}

// A picture turned about a centre: the source pixel of every target pixel by
// the nearest-neighbour rule, precomputed per turned column u and row v.
struct TurnedPicture {
    const uint8_t* bits;
    int64_t bytesPerRow;
    int64_t pw, ph; // picture size
    int64_t wp, hp; // size of the box it is stretched into
    int32_t c, s;   // 16.16 pair of the opposite angle
    int64_t x0, x1; // pixel offsets from the centre to draw, inclusive
    int64_t y0, y1;
};

// Writes the pixels of `t` into 32-bit rows: the pixel at offset (x, y) from
// the centre lands at base + (oy + y) * stride + (ox + x) * 4.
void writeTurned(const TurnedPicture& t, uchar* base, qsizetype stride, int64_t ox, int64_t oy) {
    // u and v are linear in x and y, so their extremes lie at the corners.
    int64_t unMin = INT64_MAX, unMax = INT64_MIN, vnMin = INT64_MAX, vnMax = INT64_MIN;
    for (int64_t x : {t.x0, t.x1}) {
        for (int64_t y : {t.y0, t.y1}) {
            const int64_t un = t.c * x - t.s * y, vn = t.s * x + t.c * y;
            unMin = std::min(unMin, un);
            unMax = std::max(unMax, un);
            vnMin = std::min(vnMin, vn);
            vnMax = std::max(vnMax, vn);
        }
    }
    const int64_t uMin = div16(unMin), uMax = div16(unMax);
    const int64_t vMin = div16(vnMin), vMax = div16(vnMax);
    // Source byte offsets per u (column) and v (row); -1 outside the picture.
    std::vector<int64_t> columns(static_cast<size_t>(uMax - uMin + 1));
    std::vector<int64_t> rows(static_cast<size_t>(vMax - vMin + 1));
    for (int64_t u = uMin; u <= uMax; ++u) {
        const int64_t sx = t.pw / 2 + u * t.pw / t.wp;
        columns[static_cast<size_t>(u - uMin)] = sx >= 0 && sx < t.pw ? sx * 3 : -1;
    }
    for (int64_t v = vMin; v <= vMax; ++v) {
        const int64_t sy = t.ph / 2 + v * t.ph / t.hp;
        rows[static_cast<size_t>(v - vMin)] =
            sy >= 0 && sy < t.ph ? (t.ph - 1 - sy) * t.bytesPerRow : -1;
    }
    const int64_t* col = columns.data() - uMin;
    const int64_t* row = rows.data() - vMin;
    if (t.s == 0) {
        // Upright or half turned: a target column always reads the same
        // source column and a target row the same source row.
        std::vector<int64_t> byX(static_cast<size_t>(t.x1 - t.x0 + 1));
        for (int64_t x = t.x0; x <= t.x1; ++x)
            byX[static_cast<size_t>(x - t.x0)] = col[div16(t.c * x)];
        for (int64_t y = t.y0; y <= t.y1; ++y) {
            const int64_t ro = row[div16(t.c * y)];
            if (ro < 0) continue;
            const uint8_t* src = t.bits + ro;
            auto* dst = reinterpret_cast<uint32_t*>(base + (oy + y) * stride) + ox + t.x0;
            for (size_t i = 0; i < byX.size(); ++i) {
                if (byX[i] < 0) continue;
                const uint8_t* p = src + byX[i];
                dst[i] = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            }
        }
        return;
    }
    for (int64_t y = t.y0; y <= t.y1; ++y) {
        auto* dst = reinterpret_cast<uint32_t*>(base + (oy + y) * stride) + ox;
        int64_t un = t.c * t.x0 - t.s * y;
        int64_t vn = t.s * t.x0 + t.c * y;
        for (int64_t x = t.x0; x <= t.x1; ++x, un += t.c, vn += t.s) {
            const int64_t co = col[div16(un)];
            const int64_t ro = row[div16(vn)];
            if ((co | ro) < 0) continue;
            const uint8_t* p = t.bits + ro + co; // blue, green, red
            dst[x] = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        }
    }
}

} // namespace

// ---- Colours and angles --------------------------------------------------

QColor StageColor(int32_t value) {
    return ColorRefToQColor(value);
}

StageAngle StageRotationPair(int32_t rotation) {
    const FixedAngle a = OutlineTurn(rotation);
    return {a.c, a.s};
}

// ---- The whole stage -----------------------------------------------------

QImage RenderStage(const StageViewOptions& options) {
    QImage image(Stage.width(), Stage.height(), StageImageFormat);
    QPainter painter(&image);
    PaintStage(painter, options);
    return image;
}

void PaintStage(QPainter& painter, const StageViewOptions& options) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(0, 0, Stage.width(), Stage.height()), Qt::white);

    const int32_t row = options.selectedRow;
    const bool hasSelection = row >= 0 && RowObjekt(row) < ObjektList.Count;
    const int32_t sel = hasSelection ? RowObjekt(row) : -1;

    QPen linePen(QColor(0, 0, 255), 1);
    linePen.setCosmetic(true);
    linePen.setCapStyle(Qt::FlatCap); // the end point is not drawn
    for (int32_t i = 0; i < ObjektList.Count; ++i) {
        const Objekt& o = ObjektAt(i);
        if (options.onlyActual && i != sel) continue;
        if (!options.noArrows) {
            painter.setPen(linePen);
            painter.drawLine(QPoint(clampCoord(o.Start.Left), clampCoord(o.Start.Top)),
                             QPoint(clampCoord(o.End.Left), clampCoord(o.End.Top)));
        }
        DrawObjektState(painter, o, o.Start);
        DrawObjektState(painter, o, o.End);
        if (i == sel) {
            const ObjektState& s = RowIsEnd(row) ? o.End : o.Start;
            DrawSelectionFrame(painter, s.Left, s.Top, clampCoord(int64_t(s.Right) - s.Left + 1),
                               clampCoord(int64_t(s.Bottom) - s.Top + 1));
        }
    }
    painter.restore();
}

void DrawObjektState(QPainter& painter, const Objekt& o, const ObjektState& s) {
    switch (o.Kind) {
    case okText:
        DrawTextObject(painter, o, s);
        break;
    case okDrawing:
        if (o.DrawKind == dkRectangle)
            DrawRectObject(painter, StageColor(s.Color), s.Left, s.Top, s.Right, s.Bottom,
                           s.Rotation);
        else
            DrawEllipseObject(painter, StageColor(s.Color), s.Left, s.Top, s.Right, s.Bottom,
                              s.Rotation);
        break;
    case okPicture:
        DrawPictureObject(painter, o.Picture, s);
        break;
    default:
        break; // buttons and unknown kinds have no picture on the stage
    }
}

// ---- Texts ---------------------------------------------------------------

void DrawTextObject(QPainter& painter, const Objekt& o, const ObjektState& s) {
    if (!o.Text || !*o.Text || s.FontSize == 0) return;
    const std::optional<std::string> utf8 = platform::cp932ToUtf8(o.Text);
    if (!utf8) return;
    const QString text = QString::fromStdString(*utf8);
    const StageFace& face = stageFonts().face(o.FontName);

    // A positive size is the cell height (ascent + descent); a negative one,
    // possible only from a file, is the em size itself.
    const double em = s.FontSize > 0 ? s.FontSize / face.cellPerEm : -double(s.FontSize);
    const int pixels = static_cast<int>(std::clamp(std::lround(em), 1L, long(kMaxFontPixels)));
    QFont font(face.family);
    font.setPixelSize(pixels);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);

    const QFontMetricsF metrics(font);
    const auto tw = static_cast<int64_t>(std::lround(metrics.horizontalAdvance(text)));
    // The text's height is its cell: the size asked for.
    const auto th = s.FontSize > 0 ? int64_t(s.FontSize)
                                   : static_cast<int64_t>(std::lround(pixels * face.cellPerEm));
    const int64_t dx = (-tw) / 2, dy = (-th) / 2;
    const StageAngle pair = StageRotationPair(s.Rotation);
    const int64_t rx = (pair.c * dx - pair.s * dy) / 65536;
    const int64_t ry = (pair.s * dx + pair.c * dy) / 65536;

    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.translate(clampCoord(s.Left + rx - dx), clampCoord(s.Top + ry - dy));
    // The text itself turns by the stored tenths of a degree, counter-clockwise.
    painter.rotate(-(s.Rotation / 10.0));
    painter.setFont(font);
    painter.setPen(StageColor(s.Color));
    painter.drawText(QPointF(0, pixels * face.ascentPerEm), text);
    painter.restore();
}

// ---- Drawing objects -----------------------------------------------------

void FillPolyPath(QPainter& painter, QColor color) {
    if (PointList.Count > 0) {
        QPainterPath path;
        path.moveTo(pointAt(0).x, pointAt(0).y);
        for (int32_t i = 1; i < PointList.Count; ++i)
            path.lineTo(pointAt(i).x, pointAt(i).y);
        path.closeSubpath();
        painter.fillPath(path, color);
    }
    PointList.Clear();
}

void FillCurvePath(QPainter& painter, QColor color) {
    if (PointList.Count > 0) {
        QPainterPath path;
        TPoint32 p0 = pointAt(0);
        path.moveTo(p0.x, p0.y);
        for (int32_t i = 1; i + 1 < PointList.Count; i += 2) {
            const TPoint32 k = pointAt(i), p2 = pointAt(i + 1);
            // The quadratic piece (p0, k, p2) as a cubic, per coordinate in
            // integers truncating toward zero.
            const int64_t c1x = p0.x + (int64_t(k.x) - p0.x) * 2 / 3;
            const int64_t c1y = p0.y + (int64_t(k.y) - p0.y) * 2 / 3;
            const int64_t c2x = c1x + (int64_t(p2.x) - p0.x) / 3;
            const int64_t c2y = c1y + (int64_t(p2.y) - p0.y) / 3;
            path.cubicTo(double(c1x), double(c1y), double(c2x), double(c2y), p2.x, p2.y);
            p0 = p2;
        }
        path.closeSubpath();
        painter.fillPath(path, color);
    }
    PointList.Clear();
}

void DrawRectObject(QPainter& painter, QColor color, int32_t l, int32_t t, int32_t r, int32_t b,
                    int32_t rotation) {
    const int64_t w = ClampOutlineSide(int64_t(r) - l);
    const int64_t h = ClampOutlineSide(int64_t(b) - t);
    const auto a = static_cast<int32_t>(w / 2), bb = static_cast<int32_t>(h / 2);
    PointList.Clear();
    AddRectPoints(a, bb);
    const StageAngle pair = StageRotationPair(rotation);
    RotatePoints(pair.c, pair.s);
    OffsetPoints(clampCoord(int64_t(l) + a), clampCoord(int64_t(t) + bb));
    FillPolyPath(painter, color);
}

void BuildEllipseObjectOutline(int32_t l, int32_t t, int32_t r, int32_t b, int32_t rotation) {
    const int64_t w = ClampOutlineSide(int64_t(r) - l);
    const int64_t h = ClampOutlineSide(int64_t(b) - t);
    PointList.Clear();
    AddEllipseOutline(w, h, 1);
    const StageAngle pair = StageRotationPair(rotation);
    RotatePoints(pair.c, pair.s);
    OffsetPoints(clampCoord(int64_t(l) + w / 2), clampCoord(int64_t(t) + h / 2));
}

void DrawEllipseObject(QPainter& painter, QColor color, int32_t l, int32_t t, int32_t r, int32_t b,
                       int32_t rotation) {
    BuildEllipseObjectOutline(l, t, r, b, rotation);
    FillCurvePath(painter, color);
}

// ---- Pictures ------------------------------------------------------------

void DrawPictureObject(QPainter& painter, const DibRecord& picture, const ObjektState& s) {
    if (!picture.Info || !picture.Bits) return;
    const int64_t pw = picture.Info->biWidth, ph = picture.Info->biHeight;
    if (pw <= 0 || ph <= 0 || pw > MaxOutlineSide || ph > MaxOutlineSide) return;
    int64_t w = int64_t(s.Right) - s.Left, h = int64_t(s.Bottom) - s.Top;
    const int64_t fh = ph * w / pw;
    if (h < fh)
        w = pw * h / ph;
    else
        h = fh;
    auto edge = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    DrawRotatedPicture(painter, picture, s.Rotation, s.Left, s.Top, edge(s.Left + w),
                       edge(s.Top + h));
}

void DrawRotatedPicture(QPainter& painter, const DibRecord& picture, int32_t rotation, int32_t x1,
                        int32_t y1, int32_t x2, int32_t y2) {
    const PixmillBitmapInfoHeader* info = picture.Info;
    if (!info || !picture.Bits || info->biBitCount != 24) return;
    const int64_t pw = info->biWidth, ph = info->biHeight;
    if (pw <= 0 || ph <= 0 || picture.BytesPerRow < pw * 3) return;
    const int64_t wp = int64_t(x2) - x1, hp = int64_t(y2) - y1;
    if (wp == 0 || hp == 0 || std::llabs(wp) > MaxOutlineSide || std::llabs(hp) > MaxOutlineSide)
        return;
    const int64_t cx = x1 + wp / 2, cy = y1 + hp / 2;

    // The bounding box of the turned box and its centre.
    PointList.Clear();
    addPoint(0, 0);
    AddRectPoints(static_cast<int32_t>(wp / 2), static_cast<int32_t>(hp / 2));
    const StageAngle pair = StageRotationPair(rotation);
    RotatePoints(pair.c, pair.s);
    int64_t minX = std::numeric_limits<int64_t>::max(), maxX = std::numeric_limits<int64_t>::min();
    int64_t minY = minX, maxY = maxX;
    for (int32_t i = 0; i < PointList.Count; ++i) {
        minX = std::min<int64_t>(minX, pointAt(i).x);
        maxX = std::max<int64_t>(maxX, pointAt(i).x);
        minY = std::min<int64_t>(minY, pointAt(i).y);
        maxY = std::max<int64_t>(maxY, pointAt(i).y);
    }
    PointList.Clear();

    const FixedAngle back = FixedCosSin(rotation / 10);
    TurnedPicture t{
        picture.Bits, picture.BytesPerRow, pw, ph, wp, hp, back.c, back.s, minX, maxX, minY, maxY};

    // Only what falls on the target is computed; the rest would be dropped.
    if (QImage* image = directTarget(painter)) {
        t.x0 = std::max(t.x0, -cx);
        t.x1 = std::min(t.x1, image->width() - 1 - cx);
        t.y0 = std::max(t.y0, -cy);
        t.y1 = std::min(t.y1, image->height() - 1 - cy);
        if (t.x0 > t.x1 || t.y0 > t.y1) return;
        writeTurned(t, image->bits(), image->bytesPerLine(), cx, cy);
        return;
    }
    // Any other target: the turned picture on a transparent patch, drawn at once.
    const QPaintDevice* device = painter.device();
    if (!device) return;
    const QRect visible = painter.worldTransform().inverted().mapRect(
        painter.hasClipping() ? painter.clipBoundingRect().toAlignedRect()
                              : QRect(0, 0, device->width(), device->height()));
    t.x0 = std::max<int64_t>(t.x0, visible.left() - cx);
    t.x1 = std::min<int64_t>(t.x1, visible.right() - cx);
    t.y0 = std::max<int64_t>(t.y0, visible.top() - cy);
    t.y1 = std::min<int64_t>(t.y1, visible.bottom() - cy);
    if (t.x0 > t.x1 || t.y0 > t.y1) return;
    QImage patch(static_cast<int>(t.x1 - t.x0 + 1), static_cast<int>(t.y1 - t.y0 + 1),
                 QImage::Format_ARGB32);
    patch.fill(Qt::transparent);
    writeTurned(t, patch.bits(), patch.bytesPerLine(), -t.x0, -t.y0);
    painter.drawImage(QPoint(static_cast<int>(cx + t.x0), static_cast<int>(cy + t.y0)), patch);
}

// ---- Selection frame -----------------------------------------------------

void DrawSelectionFrame(QPainter& painter, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int64_t xa = clampCoord(x), ya = clampCoord(y);
    const int64_t xb = clampCoord(xa + w), yb = clampCoord(ya + h);
    // The frame covers the rectangle's pixels up to, not including, its right
    // and bottom edge, whichever way round its corners are given.
    const int64_t left = std::min(xa, xb), right = std::max(left, std::max(xa, xb) - 1);
    const int64_t top = std::min(ya, yb), bottom = std::max(top, std::max(ya, yb) - 1);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(Qt::black, 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(int(left), int(top), int(right - left), int(bottom - top)));
    // Each handle covers the 6 x 6 pixels from (px - 3, py - 3).
    const int64_t hx[] = {xa, xb, xa, xb, xa + w / 2, xa + w / 2, xa, xb};
    const int64_t hy[] = {ya, ya, yb, yb, ya, yb, ya + h / 2, ya + h / 2};
    for (int i = 0; i < 8; ++i)
        painter.fillRect(QRect(int(hx[i] - 3), int(hy[i] - 3), 6, 6), Qt::black);
    painter.restore();
}
