// GIF89a through giflib, written through an output function into the sink.
//
// Colours: the global colour table grows as frames bring new colours; a frame
// whose colours all fit in it uses it, so a movie whose colours fit in 255
// needs no other table. A frame that does not fit gets a local table: its
// exact colours when it has at most 255, else 255 colours from a median cut
// with error diffusion. The last index of every table is transparent. The
// global table is written with 256 entries and filled in at the end.
//
// Frames: after the first, only the rectangle that changed is stored, and
// inside it the pixels whose colour did not change are transparent, so the
// picture shown before stays (disposal "do not dispose").
//
// Timing: frame k starts at round(k * 100 / fps) hundredths of a second; a
// frame lasts until the next frame written. Frames are left out where they
// would last less than 2 hundredths (browsers slow shorter delays down to 10).

#include "export/ChangedRect.h"
#include "export/Encoders.h"
#include "export/ExportSink.h"

#include <QImage>

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace movie_export {
namespace {

constexpr int kColours = 255;     // colours per table; index 255 is transparent
constexpr int kTransparent = 255; // in the global table
constexpr int kMinDelay = 2;      // hundredths

// A small open-addressing set of RGB colours with their table index.
class ColourIndex {
public:
    ColourIndex() { clear(); }
    void clear() {
        m_keys.fill(0);
        m_count = 0;
    }
    int count() const { return m_count; }
    // The index of `rgb`, or -1.
    int find(uint32_t rgb) const {
        const uint32_t key = rgb | 0xFF000000u;
        for (uint32_t slot = hash(key);; slot = (slot + 1) & kMask) {
            if (m_keys[slot] == key) return m_values[slot];
            if (m_keys[slot] == 0) return -1;
        }
    }
    void insert(uint32_t rgb, int index) {
        const uint32_t key = rgb | 0xFF000000u;
        uint32_t slot = hash(key);
        while (m_keys[slot] != 0 && m_keys[slot] != key)
            slot = (slot + 1) & kMask;
        if (m_keys[slot] == 0) ++m_count;
        m_keys[slot] = key;
        m_values[slot] = uint8_t(index);
    }

private:
    static constexpr uint32_t kMask = 1023; // four times the most colours held
    static uint32_t hash(uint32_t key) { return (key * 2654435761u) >> 22; }
    std::array<uint32_t, 1024> m_keys;
    std::array<uint8_t, 1024> m_values{};
    int m_count = 0;
};

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// Median cut over a 5-bit-per-channel histogram of the pixels to be drawn:
// the box holding the most pixels times its longest side is split at the
// median of that side until there are `colours` boxes; each colour is the
// mean of the pixels in its box.
class MedianCut {
public:
    void add(QRgb c) {
        const int bin = (qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | (qBlue(c) >> 3);
        Bin& b = m_bins[size_t(bin)];
        if (b.count == 0) m_used.push_back(bin);
        ++b.count;
        b.r += uint32_t(qRed(c));
        b.g += uint32_t(qGreen(c));
        b.b += uint32_t(qBlue(c));
    }

    std::vector<Rgb> palette(int colours) {
        struct Box {
            size_t begin, end; // into m_used
            uint64_t count;
            int axis, side;
        };
        const auto measure = [&](Box& box) {
            int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
            box.count = 0;
            for (size_t i = box.begin; i < box.end; ++i) {
                const int bin = m_used[i];
                const int c[3] = {bin >> 10, (bin >> 5) & 31, bin & 31};
                for (int a = 0; a < 3; ++a) {
                    lo[a] = std::min(lo[a], c[a]);
                    hi[a] = std::max(hi[a], c[a]);
                }
                box.count += m_bins[size_t(bin)].count;
            }
            box.axis = 0;
            for (int a = 1; a < 3; ++a)
                if (hi[a] - lo[a] > hi[box.axis] - lo[box.axis]) box.axis = a;
            box.side = hi[box.axis] - lo[box.axis];
        };
        std::vector<Box> boxes{{0, m_used.size(), 0, 0, 0}};
        measure(boxes[0]);
        while (int(boxes.size()) < colours) {
            size_t pick = boxes.size();
            uint64_t best = 0;
            for (size_t i = 0; i < boxes.size(); ++i) {
                const uint64_t score = boxes[i].count * uint64_t(boxes[i].side);
                if (boxes[i].side > 0 && score > best) {
                    best = score;
                    pick = i;
                }
            }
            if (pick == boxes.size()) break;
            Box& box = boxes[pick];
            const int shift = box.axis == 0 ? 10 : box.axis == 1 ? 5 : 0;
            std::sort(m_used.begin() + long(box.begin), m_used.begin() + long(box.end),
                      [&](int a, int b) { return ((a >> shift) & 31) < ((b >> shift) & 31); });
            // The first bin past half the pixels starts the second box; both
            // boxes keep at least one bin.
            uint64_t seen = 0;
            size_t cut = box.begin + 1;
            for (size_t i = box.begin; i + 1 < box.end; ++i) {
                seen += m_bins[size_t(m_used[i])].count;
                cut = i + 1;
                if (seen * 2 >= box.count) break;
            }
            Box second{cut, box.end, 0, 0, 0};
            box.end = cut;
            measure(box);
            measure(second);
            boxes.push_back(second);
        }
        std::vector<Rgb> out;
        for (const Box& box : boxes) {
            uint64_t n = 0, r = 0, g = 0, b = 0;
            for (size_t i = box.begin; i < box.end; ++i) {
                const Bin& bin = m_bins[size_t(m_used[i])];
                n += bin.count;
                r += bin.r;
                g += bin.g;
                b += bin.b;
            }
            if (n > 0)
                out.push_back({int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n)});
        }
        return out;
    }

    void clear() {
        for (int bin : m_used)
            m_bins[size_t(bin)] = Bin();
        m_used.clear();
    }

private:
    struct Bin {
        uint32_t count = 0;
        uint64_t r = 0, g = 0, b = 0;
    };
    std::vector<Bin> m_bins = std::vector<Bin>(32768);
    std::vector<int> m_used;
};

// The nearest palette colour of any colour, remembered per 6-bit cell.
class NearestColour {
public:
    void reset(const std::vector<Rgb>& palette) {
        m_palette = palette;
        std::fill(m_cache.begin(), m_cache.end(), int16_t(-1));
    }
    int find(int r, int g, int b) {
        const size_t cell = size_t((r >> 2) << 12 | (g >> 2) << 6 | (b >> 2));
        if (m_cache[cell] >= 0) return m_cache[cell];
        int best = 0, bestDistance = INT32_MAX;
        for (size_t i = 0; i < m_palette.size(); ++i) {
            const int dr = r - m_palette[i].r, dg = g - m_palette[i].g, db = b - m_palette[i].b;
            const int d = 2 * dr * dr + 4 * dg * dg + 3 * db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = int(i);
            }
        }
        m_cache[cell] = int16_t(best);
        return best;
    }
    const Rgb& colour(int index) const { return m_palette[size_t(index)]; }

private:
    std::vector<Rgb> m_palette;
    std::vector<int16_t> m_cache = std::vector<int16_t>(1 << 18);
};

class GifEncoder final : public FrameEncoder {
public:
    explicit GifEncoder(ExportSink& sink) : m_sink(sink) {}
    ~GifEncoder() override { close(); }

    bool begin(const EncoderSettings& settings) override {
        m_settings = settings;
        if (settings.width > 0xFFFF || settings.height > 0xFFFF)
            return fail("the frames are larger than GIF can hold");
        schedule();
        int error = 0;
        m_gif = EGifOpen(this, &GifEncoder::output, &error);
        if (!m_gif) return gifFailed(error);
        EGifSetGifVersion(m_gif, true);
        ColorMapObject* map = GifMakeMapObject(256, nullptr);
        if (!map) throw std::bad_alloc();
        m_paletteOffset = m_sink.position() + 13; // signature and screen descriptor
        const int status = EGifPutScreenDesc(m_gif, settings.width, settings.height, 8, 0, map);
        GifFreeMapObject(map);
        if (status != GIF_OK) return gifFailed(m_gif->Error);
        if (settings.loop) {
            static const uint8_t count[3] = {1, 0, 0}; // sub-block 1, loop count 0: forever
            if (EGifPutExtensionLeader(m_gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
                EGifPutExtensionBlock(m_gif, 11, "NETSCAPE2.0") != GIF_OK ||
                EGifPutExtensionBlock(m_gif, 3, count) != GIF_OK ||
                EGifPutExtensionTrailer(m_gif) != GIF_OK)
                return gifFailed(m_gif->Error);
        }
        m_previous = QImage(settings.width, settings.height, QImage::Format_ARGB32_Premultiplied);
        if (m_previous.isNull()) throw std::bad_alloc();
        m_indices.resize(size_t(settings.width));
        m_errors.resize(size_t(settings.width + 2) * 6);
        return true;
    }

    bool takesFrame(int frame) const override {
        return frame >= 0 && size_t(frame) < m_taken.size() && m_taken[size_t(frame)];
    }

    bool addFrame(const QImage& image, int frame) override {
        const int delay = delayOf(frame);
        const bool first = m_frames == 0;
        const QRect rect = first ? image.rect() : ChangedRect(m_previous, image);
        if (rect.isEmpty()) return lengthen(delay);
        if (!writeFrame(image, rect, first, delay)) return false;
        CopyRect(image, rect, m_previous);
        return true;
    }

    bool finish() override {
        if (m_frames == 0) return fail("the movie has no frames");
        int error = 0;
        dropLocalTable();
        GifFileType* gif = m_gif;
        m_gif = nullptr;
        if (EGifCloseFile(gif, &error) != GIF_OK) return gifFailed(error);
        uint8_t table[768] = {};
        for (size_t i = 0; i < m_global.size(); ++i) {
            table[i * 3] = uint8_t(m_global[i].r);
            table[i * 3 + 1] = uint8_t(m_global[i].g);
            table[i * 3 + 2] = uint8_t(m_global[i].b);
        }
        return m_sink.patch(m_paletteOffset, table, sizeof table) || writeFailed();
    }

    // Frames written (tests read it through the file).
    int frames() const { return m_frames; }

private:
    static int output(GifFileType* gif, const GifByteType* data, int size) {
        auto* self = static_cast<GifEncoder*>(gif->UserData);
        return self->m_sink.write(data, size_t(size)) ? size : 0;
    }

    bool writeFailed() { return fail("the file could not be written"); }
    bool gifFailed(int error) {
        if (error == E_GIF_ERR_NOT_ENOUGH_MEM) throw std::bad_alloc();
        if (error == E_GIF_ERR_WRITE_FAILED) return writeFailed();
        const char* text = GifErrorString(error);
        return fail(std::string("GIF: ") + (text ? text : "error"));
    }

    // giflib keeps a copy of the last local colour table and loses it when a
    // later frame has none (and on closing): it is released here first.
    void dropLocalTable() {
        if (m_gif && m_gif->Image.ColorMap) {
            GifFreeMapObject(m_gif->Image.ColorMap);
            m_gif->Image.ColorMap = nullptr;
        }
    }

    void close() {
        if (!m_gif) return;
        dropLocalTable();
        int error = 0;
        EGifCloseFile(m_gif, &error);
        m_gif = nullptr;
    }

    long long startOf(int frame) const { return std::llround(frame * 100.0 / m_settings.fps); }

    // Which frames are written: a frame starts no sooner than 2 hundredths
    // after the one written before it, and the last lasts at least as long.
    void schedule() {
        const int n = std::max(1, m_settings.frameCount);
        m_taken.assign(size_t(n), false);
        m_next.assign(size_t(n), n);
        int last = 0;
        m_taken[0] = true;
        for (int k = 1; k < n; ++k)
            if (startOf(k) - startOf(last) >= kMinDelay) {
                m_taken[size_t(k)] = true;
                last = k;
            }
        if (last > 0 && startOf(n) - startOf(last) < kMinDelay) m_taken[size_t(last)] = false;
        int next = n;
        for (int k = n - 1; k >= 0; --k) {
            m_next[size_t(k)] = next;
            if (m_taken[size_t(k)]) next = k;
        }
    }

    int delayOf(int frame) const { return int(startOf(m_next[size_t(frame)]) - startOf(frame)); }

    // An unchanged frame adds its time to the frame before it; past the
    // 65535 hundredths a delay can hold, a one-pixel transparent frame
    // carries the rest.
    bool lengthen(int delay) {
        if (m_lastDelay + delay <= 0xFFFF) {
            m_lastDelay += delay;
            const uint8_t bytes[2] = {uint8_t(m_lastDelay), uint8_t(m_lastDelay >> 8)};
            return m_sink.patch(m_delayOffset, bytes, 2) || writeFailed();
        }
        if (!putControl(delay, kTransparent)) return false;
        dropLocalTable();
        if (EGifPutImageDesc(m_gif, 0, 0, 1, 1, false, nullptr) != GIF_OK)
            return gifFailed(m_gif->Error);
        GifPixelType pixel = kTransparent;
        if (EGifPutLine(m_gif, &pixel, 1) != GIF_OK) return gifFailed(m_gif->Error);
        return true;
    }

    bool putControl(int delay, int transparent) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_DO_NOT;
        control.UserInputFlag = false;
        control.DelayTime = delay;
        control.TransparentColor = transparent;
        GifByteType bytes[4];
        EGifGCBToExtension(&control, bytes);
        // Introducer, label and block size come before the delay's two bytes.
        m_delayOffset = m_sink.position() + 4;
        m_lastDelay = delay;
        if (EGifPutExtension(m_gif, GRAPHICS_EXT_FUNC_CODE, 4, bytes) != GIF_OK)
            return gifFailed(m_gif->Error);
        return true;
    }

    bool changed(const QImage& image, bool first, int x, int y) const {
        return first || reinterpret_cast<const QRgb*>(image.constScanLine(y))[x] !=
                            reinterpret_cast<const QRgb*>(m_previous.constScanLine(y))[x];
    }

    bool writeFrame(const QImage& image, const QRect& rect, bool first, int delay) {
        const bool many = !collectColours(image, rect, first);
        int newColours = 0;
        if (!many)
            for (const QRgb c : m_list)
                if (m_globalIndex.find(c) < 0) ++newColours;
        ColorMapObject* local = nullptr;
        int transparent = kTransparent;
        if (!many && int(m_global.size()) + newColours <= kColours) {
            for (const QRgb c : m_list)
                if (m_globalIndex.find(c) < 0) {
                    m_globalIndex.insert(c, int(m_global.size()));
                    m_global.push_back({qRed(c), qGreen(c), qBlue(c)});
                }
            m_lookup = &m_globalIndex;
        } else if (!many) {
            m_localIndex.clear();
            std::vector<Rgb> colours;
            for (const QRgb c : m_list) {
                m_localIndex.insert(c, int(colours.size()));
                colours.push_back({qRed(c), qGreen(c), qBlue(c)});
            }
            transparent = int(colours.size());
            local = makeMap(colours);
            m_lookup = &m_localIndex;
        } else {
            m_cut.clear();
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = rect.left(); x <= rect.right(); ++x)
                    if (changed(image, first, x, y)) m_cut.add(src[x]);
            }
            const std::vector<Rgb> colours = m_cut.palette(kColours);
            m_nearest.reset(colours);
            transparent = int(colours.size());
            local = makeMap(colours);
            m_lookup = nullptr;
        }
        struct MapGuard {
            ColorMapObject* map;
            ~MapGuard() { GifFreeMapObject(map); }
        } guard{local};

        if (!putControl(delay, first ? NO_TRANSPARENT_COLOR : transparent)) return false;
        dropLocalTable();
        if (EGifPutImageDesc(m_gif, rect.x(), rect.y(), rect.width(), rect.height(), false,
                             local) != GIF_OK)
            return gifFailed(m_gif->Error);
        std::fill(m_errors.begin(), m_errors.end(), 0);
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            if (m_lookup)
                indexRow(image, rect, first, y, transparent);
            else
                ditherRow(image, rect, first, y, transparent);
            if (EGifPutLine(m_gif, m_indices.data(), rect.width()) != GIF_OK)
                return gifFailed(m_gif->Error);
        }
        ++m_frames;
        return true;
    }

    // The distinct colours of the pixels to be drawn, into m_list; false when
    // there are more than a table holds.
    bool collectColours(const QImage& image, const QRect& rect, bool first) {
        m_list.clear();
        ColourIndex& seen = m_localIndex;
        seen.clear();
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            QRgb last = 0xFFFFFFFF;
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QRgb c = src[x] & 0xFFFFFF;
                if (c == last || !changed(image, first, x, y)) continue;
                last = c;
                if (seen.find(c) >= 0) continue;
                if (int(m_list.size()) == kColours) return false;
                seen.insert(c, 0);
                m_list.push_back(c);
            }
        }
        return true;
    }

    static ColorMapObject* makeMap(const std::vector<Rgb>& colours) {
        int size = 2;
        while (size < int(colours.size()) + 1)
            size *= 2;
        ColorMapObject* map = GifMakeMapObject(size, nullptr);
        if (!map) throw std::bad_alloc();
        for (size_t i = 0; i < colours.size(); ++i)
            map->Colors[i] = {uint8_t(colours[i].r), uint8_t(colours[i].g), uint8_t(colours[i].b)};
        return map;
    }

    void indexRow(const QImage& image, const QRect& rect, bool first, int y, int transparent) {
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = rect.left(); x <= rect.right(); ++x)
            m_indices[size_t(x - rect.left())] =
                changed(image, first, x, y) ? GifPixelType(m_lookup->find(src[x] & 0xFFFFFF))
                                            : GifPixelType(transparent);
    }

    // Floyd-Steinberg error diffusion over the pixels that are drawn; the
    // error is not carried into transparent pixels.
    void ditherRow(const QImage& image, const QRect& rect, bool first, int y, int transparent) {
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const size_t w = size_t(rect.width()) + 2;
        int* cur = m_errors.data() + ((y - rect.top()) & 1) * w * 3;
        int* next = m_errors.data() + (((y - rect.top()) & 1) ^ 1) * w * 3;
        std::fill(next, next + w * 3, 0);
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const size_t i = size_t(x - rect.left()) + 1;
            if (!changed(image, first, x, y)) {
                m_indices[i - 1] = GifPixelType(transparent);
                continue;
            }
            const QRgb c = src[x];
            const int want[3] = {std::clamp(qRed(c) + cur[i * 3] / 16, 0, 255),
                                 std::clamp(qGreen(c) + cur[i * 3 + 1] / 16, 0, 255),
                                 std::clamp(qBlue(c) + cur[i * 3 + 2] / 16, 0, 255)};
            const int index = m_nearest.find(want[0], want[1], want[2]);
            m_indices[i - 1] = GifPixelType(index);
            const Rgb& got = m_nearest.colour(index);
            const int err[3] = {want[0] - got.r, want[1] - got.g, want[2] - got.b};
            for (int a = 0; a < 3; ++a) {
                cur[(i + 1) * 3 + size_t(a)] += err[a] * 7;
                next[(i - 1) * 3 + size_t(a)] += err[a] * 3;
                next[i * 3 + size_t(a)] += err[a] * 5;
                next[(i + 1) * 3 + size_t(a)] += err[a];
            }
        }
    }

    ExportSink& m_sink;
    EncoderSettings m_settings;
    GifFileType* m_gif = nullptr;
    uint64_t m_paletteOffset = 0, m_delayOffset = 0;
    int m_lastDelay = 0;
    std::vector<bool> m_taken;
    std::vector<int> m_next; // the next frame written after frame k (or the count)
    QImage m_previous;       // the movie's picture as last written
    std::vector<Rgb> m_global;
    ColourIndex m_globalIndex, m_localIndex;
    ColourIndex* m_lookup = nullptr;
    std::vector<QRgb> m_list;
    MedianCut m_cut;
    NearestColour m_nearest;
    std::vector<GifPixelType> m_indices;
    std::vector<int> m_errors; // two rows of three channels, 16 times the error
    int m_frames = 0;
};

} // namespace

std::unique_ptr<FrameEncoder> MakeGifEncoder(ExportSink& sink) {
    return std::make_unique<GifEncoder>(sink);
}

} // namespace movie_export
