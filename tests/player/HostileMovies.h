#pragma once
// Small movies that ask the player for much work: the renderer's tests, the
// player benchmark and the fuzz seeds build them from here.

#include "SwfBuilder.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>

namespace swfbuild {

// A JPEG of a w x h picture: four quadrants, red, green / blue, yellow.
inline Bytes quadrantJpeg(int w = 16, int h = 16) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y,
                           y < h / 2 ? (x < w / 2 ? 0xFF0000 : 0x00FF00)
                                     : (x < w / 2 ? 0x0000FF : 0xFFFF00));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 100);
    return Bytes(bytes.begin(), bytes.end());
}

// A shape with one clipped bitmap fill of picture 1 over the whole stage,
// the picture shrunk to 1/`shrink` twip a pixel and put at (x, y) twips.
inline Bytes clippedFillShape(uint16_t id, int widthPx, int heightPx, int32_t scale16, int32_t x,
                              int32_t y) {
    Bits s;
    s.u16(id).rect(0, widthPx * 20, 0, heightPx * 20).u8(1).u8(0x41).u16(1);
    s.matrix(scale16, scale16, 0, 0, x, y).u8(0).bits(1, 4).bits(0, 4);
    s.rectEdges(0, 0, widthPx * 20, heightPx * 20, -1, 1, 1).endShape();
    return tag(DefineShape, s);
}

// A clipped bitmap fill of a 16 x 16 picture shrunk far below a pixel, over
// the whole 550 x 400 stage, placed at `places` depths each with its own
// colour transform: every draw extends the picture's edges over the stage.
inline Bytes paddedFillMovie(int places = 65) {
    Bits jpeg;
    jpeg.u16(1).raw(quadrantJpeg());
    std::vector<Bytes> tags{tag(DefineBitsJPEG2, jpeg),
                            clippedFillShape(2, 550, 400, 1, 5500, 4000)};
    for (int k = 0; k < places; ++k) {
        Bits p;
        p.u8(0x0E)
            .u16(uint16_t(k + 1))
            .u16(2)
            .matrix()
            .cxformAlpha({256, 256, 256, 256}, {k, -k, k / 2, 0});
        tags.push_back(tag(PlaceObject2, p));
    }
    tags.push_back(showFrame());
    return movie(550, 400, 12, tags);
}

// `count` DefineBitsJPEG2 tags, each a few hundred bytes that claim a
// 1024 x 1024 picture (4 MB decoded): a real JPEG's header and the start of
// its data.
// None is drawn.
inline Bytes claimingJpegsMovie(int count) {
    QImage flat(1024, 1024, QImage::Format_RGB32);
    flat.fill(0x808080);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    flat.save(&buffer, "JPEG", 10);
    // Up to the start of scan (FF DA), its header and a few bytes of data.
    const qsizetype scan = bytes.indexOf("\xFF\xDA");
    Bytes head(bytes.begin(), bytes.begin() + std::min(bytes.size(), scan + 24));
    head.insert(head.end(), {0xFF, 0xD9}); // end of image
    std::vector<Bytes> tags;
    for (int k = 0; k < count; ++k) {
        Bits b;
        b.u16(uint16_t(k + 1)).raw(head);
        tags.push_back(tag(DefineBitsJPEG2, b));
    }
    tags.push_back(showFrame());
    return movie(550, 400, 12, tags);
}

// A comb over the stage: one shape of `teeth` teeth (4 edges each), each a
// twip wide and 390 pixels high, a twip apart, with a solid fill and a
// pen a pixel wide; placed `places` times, each a pixel further right. Each
// of the `frames` - 1 frames after the first moves the first comb on.
inline Bytes combMovie(int teeth = 500, int places = 100, int frames = 1) {
    Bits s;
    s.u16(1).rect(0, 11000, 0, 8000).u8(1).u8(0x00).rgb(0x204080);
    s.u8(1).u16(20).rgb(0x000000); // one line style, a pixel wide
    s.bits(1, 4).bits(1, 4);       // 1-bit fill and line indices
    s.styleChange(true, 100, 100, -1, 1, 1, 1, 1);
    for (int k = 0; k < teeth; ++k)
        s.line(0, 7800).line(1, 0).line(0, -7800).line(1, 0);
    s.line(-2 * teeth, 0).endShape();
    std::vector<Bytes> tags{tag(SetBackgroundColor, Bits().rgb(0xFFFFFF)), tag(DefineShape, s)};
    for (int k = 0; k < places; ++k) {
        Bits p;
        p.u8(0x06).u16(uint16_t(k + 1)).u16(1).matrix(65536, 65536, 0, 0, 20 * k, 0);
        tags.push_back(tag(PlaceObject2, p));
    }
    tags.push_back(showFrame());
    for (int k = 1; k < frames; ++k) {
        Bits move;
        move.u8(0x05).u16(1).matrix(65536, 65536, 0, 0, 200 * (k % 20), 0);
        tags.push_back(tag(PlaceObject2, move));
        tags.push_back(showFrame());
    }
    return movie(550, 400, 12, tags);
}

// A picture seen through a comb: one shape of `teeth` teeth as in
// combMovie, filled with a clipped 64 x 64 picture stretched over the stage,
// placed `places` times, each with a colour transform that changes its
// colours (drawn through a layer, not as a plain brush).
inline Bytes pictureCombMovie(int teeth = 200, int places = 20) {
    Bits jpeg;
    jpeg.u16(1).raw(quadrantJpeg(64, 64));
    Bits s;
    s.u16(2).rect(0, 11000, 0, 8000).u8(1).u8(0x41).u16(1);
    s.matrix(65536 * 170, 65536 * 125).u8(0); // 64 pixels over 550 x 400, no lines
    s.bits(1, 4).bits(0, 4);
    s.styleChange(true, 100, 100, -1, 1, 1);
    for (int k = 0; k < teeth; ++k)
        s.line(0, 7800).line(20, 0).line(0, -7800).line(20, 0);
    s.line(-40 * teeth, 0).endShape();
    std::vector<Bytes> tags{tag(DefineBitsJPEG2, jpeg), tag(DefineShape, s)};
    for (int k = 0; k < places; ++k) {
        Bits p;
        p.u8(0x0E)
            .u16(uint16_t(k + 1))
            .u16(2)
            .matrix(65536, 65536, 0, 0, 7 * k, 0)
            .cxformAlpha({256, 200, 256, 256}, {k, 0, -k, 0});
        tags.push_back(tag(PlaceObject2, p));
    }
    tags.push_back(showFrame());
    return movie(550, 400, 12, tags);
}

} // namespace swfbuild
