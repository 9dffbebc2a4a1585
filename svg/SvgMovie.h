#pragma once
// The project as one self-contained SVG file that plays by SMIL animation in
// a browser, with no script and no plug-in: texts as outlines of their
// glyphs, drawing objects as paths, pictures as the movie's JPEG bytes.
//
// The values come from the compiler's own decisions, frame by frame, so the
// SVG shows in every frame what the movie shows. Every animated value is a
// discrete animation over the whole movie (N frames at fps: N/fps seconds)
// that changes only at keyTimes k/N, one value for each frame in which the
// value changes. Each element of the project is one group of the SVG: its
// placement matrix is split into nested translate, rotate, skewX and scale
// groups (only the parts it needs), its colour and alpha are the fill
// ("#rrggbbaa"), its appearance and removal its visibility.

#include "compiler/CompileObserver.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace svg {

struct SvgOptions {
    std::string outputPath;
    // The picture's width and height are the stage's times this; being
    // vector, it stays sharp at any size.
    double scale = 1;
    // As for the movie: called after every frame; asked after every frame
    // whether to stop (then nothing is written).
    std::function<void(int32_t frame, int32_t lastFrame)> progress;
    std::function<bool()> cancelRequested;
};

struct SvgResult {
    bool written = false;
    bool cancelled = false;
    std::string error; // why nothing was written (empty when written or cancelled)
    int32_t frames = 0;
    uint64_t bytes = 0;
    // What the compiler left out of the movie, and so of the picture.
    std::vector<std::string> warnings;
};

// Compiles the project (ObjektList, Stage and its repeat flag) and writes the
// SVG to options.outputPath through the replacing writer: a failure leaves
// the old file as it was and nothing beside it.
SvgResult WriteSvgMovie(const SvgOptions& options);

// The parts of a 2 x 2 matrix [a c; b d] (a point (x, y) goes to
// (a x + c y, b x + d y)) as rotate(rotate) skewX(skewX) scale(scaleX, scaleY),
// angles in degrees.
struct MatrixParts {
    double rotate = 0, skewX = 0, scaleX = 1, scaleY = 1;
};
MatrixParts SplitMatrix(double a, double b, double c, double d);

// Collects the compiler's decisions and writes the SVG from them.
class SvgMovieBuilder final : public CompileObserver {
public:
    // repeat: the movie plays again from its start (else it stays on its last frame).
    explicit SvgMovieBuilder(bool repeat, double scale = 1);
    ~SvgMovieBuilder() override;

    void movieStarted(int32_t width, int32_t height, int32_t fps, int32_t background,
                      int32_t frames) override;
    void glyphBuilt(int32_t element, const FShape& outline) override;
    void textLaidOut(int32_t element, std::span<const uint32_t> glyphOfCharacter) override;
    void textDefined(int32_t element, const MovieText& text) override;
    void drawingDefined(int32_t element, const FShape& start, const FShape& end,
                        MovieColor startColor, MovieColor endColor) override;
    void pictureDefined(int32_t element, std::span<const uint8_t> jpeg, int32_t width,
                        int32_t height) override;
    void placed(int32_t element, const MovieMatrix* matrix, int32_t ratio) override;
    void removed(int32_t element) override;
    void frameEnded(int32_t frame) override;

    // Hands the document out in pieces; stops at the first piece `sink`
    // refuses and returns false.
    bool write(const std::function<bool(std::string_view)>& sink) const;

    struct Timing; // the animations' duration and key times

private:
    struct Element;
    Element& element(int32_t index);
    void setColor(Element& e, const MovieColor& color);
    void writeElement(const Element& e, const Timing& timing, std::string& out,
                      const std::function<bool(std::string_view)>& sink, bool& ok) const;

    bool m_repeat;
    double m_scale;
    int32_t m_width = 0, m_height = 0, m_fps = 1, m_background = 0xFFFFFF, m_frames = 1;
    int32_t m_frame = 0;      // the frame being built
    int32_t m_placements = 0; // elements placed so far: their order on the stage
    std::vector<std::unique_ptr<Element>> m_elements;
    // Glyph outlines, each once: path data and its number in <defs>.
    std::vector<std::string> m_glyphPaths;
    struct GlyphIndex;
    std::unique_ptr<GlyphIndex> m_glyphIndex;
    std::string m_scratch;
};

} // namespace svg
