// Random valid projects, compiled and read back strictly by the player's
// reader: every tag read exactly to its end, the frame count the timing
// gives, each element's character placed in its start frame and gone when it
// should be, one glyph entry per character of a text.
//
// MOVI_ROUNDTRIP_PROJECTS sets how many projects are tried (default 200),
// MOVI_ROUNDTRIP_SEED the first seed (default 1); a failure names its seed.
// MOVI_ROUNDTRIP_KEEP names a file that keeps the last movie compiled.
#include "RandomProject.h"
#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "player/SwfReader.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

long envNumber(const char* name, long fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::strtol(value, nullptr, 10) : fallback;
}

// What the timing rules give for one element: the frame it starts in and the
// last frame it is on the display list (-1: never).
struct Expected {
    int32_t kind = 0;
    int64_t startFrame = -1;
    int64_t lastShown = -1;
    std::u16string text;
};

int64_t frameTime(int64_t j, int32_t fps) {
    return 1000 * j / fps;
}

std::vector<Expected> expectedTiming(const std::vector<randomproject::ElementInfo>& elements,
                                     int32_t fps, int64_t lastFrame) {
    std::vector<Expected> out;
    for (const randomproject::ElementInfo& e : elements) {
        Expected x;
        x.kind = e.kind;
        x.text = e.text;
        const int64_t s = std::min(e.startTime, e.endTime), t = std::max(e.startTime, e.endTime);
        for (int64_t j = 0; j <= lastFrame && x.startFrame < 0; ++j)
            if (s <= frameTime(j, fps)) x.startFrame = j;
        if (x.startFrame >= 0 && e.kind != okButton) {
            int64_t finished = -1;
            for (int64_t j = x.startFrame + 1; j <= lastFrame && finished < 0; ++j)
                if (frameTime(j, fps) >= t) finished = j;
            x.lastShown = e.deleteAtEnd && finished >= 0 ? finished : lastFrame;
        }
        out.push_back(x);
    }
    return out;
}

// Checks the movie of one project; returns what is wrong ("" when nothing).
std::string check(const std::vector<uint8_t>& bytes,
                  const std::vector<randomproject::ElementInfo>& elements, int32_t fps,
                  int32_t maxTime) {
    player::Movie movie;
    std::string error;
    if (!player::readSwf(bytes, &movie, &error, player::ReadMode::Strict))
        return "strict reading: " + error;
    const int64_t lastFrame = int64_t(fps) * maxTime / 1000;
    if (int64_t(movie.frames.size()) != lastFrame + 1)
        return "frames: " + std::to_string(movie.frames.size()) + ", the timing gives " +
               std::to_string(lastFrame + 1);
    const std::vector<Expected> expected = expectedTiming(elements, fps, lastFrame);

    // Depths are handed out from 2 on in the order elements start: by frame,
    // then by list position.
    std::vector<size_t> order;
    for (size_t i = 0; i < expected.size(); ++i)
        if (expected[i].lastShown >= 0) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return expected[a].startFrame < expected[b].startFrame;
    });
    std::map<uint16_t, size_t> elementAt;
    for (size_t k = 0; k < order.size(); ++k)
        elementAt[static_cast<uint16_t>(k + 2)] = order[k];

    std::map<uint16_t, uint16_t> displayList; // depth -> character
    std::ostringstream why;
    for (size_t j = 0; j < movie.frames.size(); ++j) {
        for (const player::ControlOp& op : movie.frames[j]) {
            if (op.kind == player::ControlOp::Kind::Remove) {
                displayList.erase(op.depth);
            } else if (!op.move) {
                if (displayList.count(op.depth))
                    return "frame " + std::to_string(j + 1) + ": depth " +
                           std::to_string(op.depth) + " placed while occupied";
                displayList[op.depth] = op.character;
            } else if (!displayList.count(op.depth)) {
                return "frame " + std::to_string(j + 1) + ": a move at the empty depth " +
                       std::to_string(op.depth);
            }
        }
        for (const auto& [depth, index] : elementAt) {
            const Expected& x = expected[index];
            const bool shown = int64_t(j) >= x.startFrame && int64_t(j) <= x.lastShown;
            const auto it = displayList.find(depth);
            if (shown != (it != displayList.end()))
                return "element " + std::to_string(index + 1) + " (depth " + std::to_string(depth) +
                       ") is " + (shown ? "missing" : "still shown") + " in frame " +
                       std::to_string(j + 1) + "; it starts in frame " +
                       std::to_string(x.startFrame + 1) + ", shown until frame " +
                       std::to_string(x.lastShown + 1);
            if (!shown || (int64_t(j) != x.startFrame && int64_t(j) != x.lastShown)) continue;
            const player::Character& c = movie.characters.at(it->second);
            if (x.kind == okDrawing && !std::holds_alternative<player::MorphShape>(c))
                return "element " + std::to_string(index + 1) + ": not a morph shape";
            if (x.kind == okPicture) {
                // Its edges are filled with the picture's bitmap.
                const auto* shape = std::get_if<player::Shape>(&c);
                const auto drawsPicture = [&](const player::ShapeEdge& e) {
                    const int fill = std::max(e.fill0, e.fill1);
                    if (fill < 1 || size_t(fill) > shape->fills.size()) return false;
                    const player::FillStyle& f = shape->fills[size_t(fill - 1)];
                    const auto b = movie.characters.find(f.bitmap);
                    return f.kind == player::FillStyle::Kind::Bitmap &&
                           b != movie.characters.end() &&
                           std::holds_alternative<player::Bitmap>(b->second) &&
                           !std::get<player::Bitmap>(b->second).jpeg.isEmpty() &&
                           !std::get<player::Bitmap>(b->second).size.isEmpty();
                };
                if (!shape || shape->edges.empty() ||
                    !std::all_of(shape->edges.begin(), shape->edges.end(), drawsPicture))
                    return "element " + std::to_string(index + 1) + ": its picture is not drawn";
            }
            if (x.kind == okText) {
                const auto* text = std::get_if<player::Text>(&c);
                if (!text) return "element " + std::to_string(index + 1) + ": not a text";
                size_t n = 0;
                for (const player::TextRun& run : text->runs) {
                    const auto& font = std::get<player::Font>(movie.characters.at(run.font));
                    for (const player::TextGlyph& g : run.glyphs) {
                        // Codes are one byte each unless the font info says
                        // they are wide.
                        const char16_t ch = n < x.text.size() ? x.text[n] : 0;
                        const uint16_t code = font.codes.at(g.index);
                        if (code != ch && code != (ch & 0xFF))
                            return "element " + std::to_string(index + 1) + ": character " +
                                   std::to_string(n + 1) + " is drawn with the glyph of " +
                                   std::to_string(code);
                        ++n;
                    }
                }
                if (n != x.text.size())
                    return "element " + std::to_string(index + 1) + ": " + std::to_string(n) +
                           " glyph entries for " + std::to_string(x.text.size()) + " characters";
            }
        }
    }
    return "";
}

TEST(RoundTrip, RandomProjectsReadBackAsTheyWereMeant) {
    const long count = envNumber("MOVI_ROUNDTRIP_PROJECTS", 200);
    const long firstSeed = envNumber("MOVI_ROUNDTRIP_SEED", 1);
    testsupport::TempDir dir;
    const char* keep = std::getenv("MOVI_ROUNDTRIP_KEEP");
    const std::string path = keep && *keep ? std::string(keep) : dir.file("movie.swf");
    for (long seed = firstSeed; seed < firstSeed + count; ++seed) {
        testsupport::ResetProject();
        const randomproject::Project project = randomproject::Generate(static_cast<uint32_t>(seed));
        CompileOptions options;
        options.outputPath = path;
        const CompileResult result = CompileMovie(options);
        ASSERT_TRUE(result.written) << "seed " << seed << ": " << result.error;
        for (const std::string& w : result.warnings)
            ADD_FAILURE() << "seed " << seed << ": warning " << w;
        const std::string fault =
            check(testsupport::ReadBytes(path), project.elements, project.fps, project.maxTime);
        ASSERT_EQ(fault, "") << "seed " << seed << " (" << project.elements.size() << " elements, "
                             << project.fps << " fps)";
    }
    testsupport::ResetProject();
}

} // namespace
