#include "compiler/CompileMovie.h"

#include "StrictMovie.h"
#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "platform/SystemServices.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <set>
#include <thread>

namespace mr = strictmovie;

namespace {

class CompileTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::ResetProject(); }
    void TearDown() override { testsupport::ResetProject(); }

    mr::Movie compile(const std::string& name = "movie.swf") {
        CompileOptions options;
        options.outputPath = dir.file(name);
        options.afterCompile = [this] { ++afterCompileCalls; };
        result = CompileMovie(options);
        EXPECT_TRUE(result.written);
        return mr::ReadFile(options.outputPath);
    }

    Objekt* drawing(int32_t start, int32_t end) {
        Objekt* o = AddObjekt(okDrawing);
        o->Start.Time = start;
        o->End.Time = end;
        return o;
    }

    // Tags of element kinds per frame, for the placements at `depth`.
    static std::vector<player::ControlOp> placesAt(const mr::Movie& m, uint16_t depth) {
        std::vector<player::ControlOp> v;
        for (const mr::Tag& t : m.tags)
            if (t.code == mr::PlaceObject2 && t.op.depth == depth) v.push_back(t.op);
        return v;
    }

    testsupport::TempDir dir;
    CompileResult result;
    int afterCompileCalls = 0;
};

TEST_F(CompileTest, EmptyProjectIsBackgroundOneFrameAndEnd) {
    Stage.setBackgroundColor(0x00563412);
    const mr::Movie m = compile();
    EXPECT_EQ(m.codes(), (std::vector<int>{mr::SetBackgroundColor, mr::ShowFrame, mr::End}));
    EXPECT_EQ(m.tags[0].body, (std::vector<uint8_t>{0x12, 0x34, 0x56}));
    EXPECT_EQ(m.data.version, 4);
    EXPECT_EQ(m.data.info.frameRate, 12);
    EXPECT_EQ(m.data.frame, QRectF(0, 0, 550 * 20, 400 * 20));
    EXPECT_EQ(result.frames, 1);
    EXPECT_EQ(afterCompileCalls, 1);
}

TEST_F(CompileTest, DrawingObjectRatiosAtTwelveFramesPerSecond) {
    drawing(0, 1000);
    const mr::Movie m = compile();
    EXPECT_EQ(m.data.frames.size(), 13u);
    const std::vector<player::ControlOp> places = placesAt(m, 2);
    ASSERT_EQ(places.size(), 13u);
    EXPECT_TRUE(places[0].hasCharacter);
    EXPECT_FALSE(places[0].hasMatrix);
    EXPECT_EQ(places[0].character, 1);
    std::vector<int> ratios;
    for (size_t i = 1; i < places.size(); ++i) {
        EXPECT_TRUE(places[i].move && places[i].hasRatio && !places[i].hasCharacter);
        ratios.push_back(places[i].ratio);
    }
    EXPECT_EQ(ratios, (std::vector<int>{5439, 10878, 16383, 21823, 27262, 32767, 38206, 43646,
                                        49151, 54590, 60030, 65535}));
}

TEST_F(CompileTest, StartFrameAndExchangedTimes) {
    drawing(500, 1000);
    Objekt* swapped = drawing(1000, 0);
    (void)swapped;
    const mr::Movie m = compile();
    ObjektList.Select(1);
    EXPECT_EQ(CurObjekt->Start.Time, 0); // exchanged in the project for good
    EXPECT_EQ(CurObjekt->End.Time, 1000);
    const auto frames = m.frames();
    // The second element (now 0..1000) starts in frame 0; the first in frame 6.
    ASSERT_EQ(frames[0].size(), 3u); // with the background colour
    EXPECT_EQ(frames[0][1]->code, mr::DefineMorphShape);
    for (int f = 1; f < 6; ++f)
        EXPECT_EQ(frames[f].size(), 1u) << f;
    ASSERT_EQ(frames[6].size(), 3u);
    EXPECT_EQ(frames[6][0]->code, mr::DefineMorphShape);
    EXPECT_FALSE(frames[6][1]->op.hasRatio); // shown in its start state
    EXPECT_TRUE(frames[6][2]->op.hasRatio);  // the other one moves on
}

TEST_F(CompileTest, RemovalInEveryFrameAfterTheEnd) {
    drawing(0, 250)->DeleteAtEnd = 1;
    drawing(0, 250)->DeleteAtEnd = 0;
    drawing(0, 1000)->DeleteAtEnd = 0;
    const mr::Movie m = compile();
    const auto frames = m.frames();
    // Frame 3 (250 ms) shows the end state; frames 4..12 remove depth 2 only.
    for (size_t f = 4; f < frames.size(); ++f) {
        int removes = 0;
        for (const mr::Tag* t : frames[f])
            if (t->code == mr::RemoveObject2) {
                ++removes;
                EXPECT_EQ(t->op.depth, 2);
            }
        EXPECT_EQ(removes, 1) << f;
    }
    EXPECT_EQ(m.count(mr::RemoveObject2), 9);
}

TEST_F(CompileTest, EmptyTextAndButtonsProduceNothing) {
    Objekt* t = AddObjekt(okText);
    ReplaceString(t->Text, "");
    AddObjekt(okButton);
    AddObjekt(9);
    const mr::Movie m = compile();
    for (int code : m.codes())
        EXPECT_TRUE(code == mr::SetBackgroundColor || code == mr::ShowFrame || code == mr::End)
            << code;
}

TEST_F(CompileTest, ColoursAlphaAndFillSides) {
    Objekt* o = drawing(0, 1000);
    o->Start.Transparency = 0;
    o->End.Transparency = 100;
    o->End.Color = 0x00332211;
    const mr::Movie m = compile();
    ASSERT_EQ(m.tags[1].code, mr::DefineMorphShape);
    const auto& shape = m.get<player::MorphShape>(m.tags[1]);
    ASSERT_EQ(shape.startFills.size(), 1u);
    EXPECT_EQ(shape.startFills[0].color, QColor(8, 0, 0, 255)); // 0x80000008
    EXPECT_EQ(shape.endFills[0].color, QColor(0x11, 0x22, 0x33, 0));
    // The fill is on the inside only: fill style 1 of the clockwise outline.
    ASSERT_EQ(shape.startEdges.size(), 4u);
    EXPECT_EQ(shape.startEdges[0].fill0, 0);
    EXPECT_EQ(shape.startEdges[0].fill1, 1);
    EXPECT_EQ(shape.startEdges.size(), shape.endEdges.size());
    EXPECT_EQ(shape.startEdges[0].from.x, (10 + 20) * 20 - 400);
}

TEST_F(CompileTest, TurnedOverRectangleFillsItsOtherSideAndEndFollows) {
    Objekt* o = drawing(0, 1000);
    std::swap(o->Start.Left, o->Start.Right); // runs counter-clockwise now
    const mr::Movie m = compile();
    const auto& shape = m.get<player::MorphShape>(m.tags[1]);
    ASSERT_FALSE(shape.startEdges.empty());
    EXPECT_EQ(shape.startEdges[0].fill0, 1);
    EXPECT_EQ(shape.startEdges[0].fill1, 0);
    // The upright end rectangle is mirrored to run the same way: its first
    // edge goes left, like the start's.
    EXPECT_EQ(shape.startEdges[0].to.x - shape.startEdges[0].from.x, -800);
    EXPECT_EQ(shape.endEdges[0].to.x - shape.endEdges[0].from.x, -800);
}

TEST_F(CompileTest, TextIdsRotationAndGlyphs) {
    Objekt* t = AddObjekt(okText);
    ReplaceString(t->Text, "abc");
    ReplaceString(t->FontName, "Arial");
    t->Start.Rotation = 125;
    t->End.Rotation = 125;
    t->Start.Transparency = 50;
    t->End.Time = 1000;
    const mr::Movie m = compile();
    const auto frames = m.frames();
    ASSERT_EQ(frames[0].size(), 5u); // the background colour first
    EXPECT_EQ(frames[0][1]->code, mr::DefineFont);
    EXPECT_EQ(frames[0][1]->id, 1);
    EXPECT_EQ(frames[0][2]->code, mr::DefineFontInfo);
    EXPECT_EQ(frames[0][2]->id, 1); // refers to its font (and used up ID 2)
    EXPECT_EQ(frames[0][3]->code, mr::DefineText2);
    EXPECT_EQ(frames[0][3]->id, 3);
    EXPECT_EQ(m.get<player::Font>(*frames[0][1]).glyphs.size(), 3u);
    const auto& text = m.get<player::Text>(*frames[0][3]);
    ASSERT_EQ(text.runs.size(), 1u);
    EXPECT_EQ(text.runs[0].font, 1);
    EXPECT_EQ(text.runs[0].height, 24 * 20);
    EXPECT_EQ(text.runs[0].color.alpha(), 127);
    EXPECT_EQ(text.runs[0].glyphs.size(), 3u);
    EXPECT_EQ(text.bounds.left(), -550 * 20);
    EXPECT_EQ(text.matrix.dy(), -240);
    const player::ControlOp& place = frames[0][4]->op;
    EXPECT_EQ(place.character, 3);
    EXPECT_EQ(place.depth, 2);
    // 12.5 degrees turn as 12: cos 12° = 0.97815 and sin 12° = 0.20791 in 16.16,
    // truncated toward zero.
    EXPECT_EQ(mr::Fixed(place.matrix.m11()), 64103);
    EXPECT_EQ(mr::Fixed(place.matrix.m12()), -13625);
    EXPECT_EQ(mr::Fixed(place.matrix.m21()), 13625);
    // Frame 1: remove, a new text with the next ID, placed again.
    ASSERT_EQ(frames[1].size(), 3u);
    EXPECT_EQ(frames[1][0]->code, mr::RemoveObject2);
    EXPECT_EQ(frames[1][1]->code, mr::DefineText2);
    EXPECT_EQ(frames[1][1]->id, 4);
    EXPECT_EQ(frames[1][2]->op.character, 4);
}

TEST_F(CompileTest, LongAnimationReachesTheEndInAStraightLine) {
    drawing(0, 40000);
    const mr::Movie m = compile();
    const std::vector<player::ControlOp> places = placesAt(m, 2);
    ASSERT_EQ(places.size(), 481u);
    for (size_t f = 1; f < places.size(); ++f) {
        const int64_t t = 1000 * int64_t(f) / 12;
        EXPECT_EQ(places[f].ratio, t * 65535 / 40000) << f;
    }
    EXPECT_EQ(places.back().ratio, 65535);
}

TEST_F(CompileTest, SameProjectTwiceGivesTheSameBytes) {
    drawing(0, 1000);
    Objekt* t = AddObjekt(okText);
    t->End.FontSize = 40;
    DibRecord pic{};
    ASSERT_TRUE(Pixmill.newdib(&pic, 8, 8, 24, nullptr, 0));
    AddObjekt(okPicture, &pic);
    compile("a.swf");
    compile("b.swf");
    EXPECT_EQ(testsupport::ReadBytes(dir.file("a.swf")), testsupport::ReadBytes(dir.file("b.swf")));
}

TEST_F(CompileTest, EqualTimesNegativeStartsAndZeroBoxesAreSafe) {
    drawing(500, 500);
    drawing(-300, 200);
    Objekt* pic = AddObjekt(okPicture);
    ASSERT_TRUE(Pixmill.newdib(&pic->Picture, 16, 16, 24, nullptr, 0));
    pic->Start.Right = pic->Start.Left; // zero-width box
    pic->End.Bottom = pic->End.Top;
    const mr::Movie m = compile();
    // Every move or removal refers to a depth that was placed before it.
    std::set<uint16_t> placed;
    for (const mr::Tag& t : m.tags) {
        if (t.code == mr::PlaceObject2) {
            if (t.op.hasCharacter && !t.op.move)
                placed.insert(t.op.depth);
            else
                EXPECT_TRUE(placed.count(t.op.depth)) << t.op.depth;
        } else if (t.code == mr::RemoveObject2) {
            EXPECT_TRUE(placed.count(t.op.depth));
        }
    }
    // The element without duration is at its end state right after its start.
    const std::vector<player::ControlOp> zero = placesAt(m, 4); // it starts last, in frame 6
    ASSERT_GE(zero.size(), 2u);
    EXPECT_EQ(zero[1].ratio, 65535);
    // The element that starts before 0 is placed in the first frame.
    EXPECT_EQ(placesAt(m, 2).front().hasCharacter, true);
}

// The picture's JPEG is encoded in memory: an unusable temporary folder (it
// used to drop the picture with a warning) changes nothing.
TEST_F(CompileTest, PictureNeedsNoTemporaryFolder) {
    Objekt* pic = AddObjekt(okPicture);
    ASSERT_TRUE(Pixmill.newdib(&pic->Picture, 16, 16, 24, nullptr, 0));
    pic->DeleteAtEnd = 1;
    platform::SetTempFolder(dir.file("no-such-folder"));
    const mr::Movie m = compile();
    platform::SetTempFolder("");
    EXPECT_EQ(m.count(mr::DefineBitsJPEG2), 1);
    EXPECT_EQ(m.count(mr::DefineShape), 1);
    EXPECT_TRUE(result.warnings.empty());
}

TEST_F(CompileTest, PictureIsEmbeddedWithAClockwiseBitmapRectangle) {
    Objekt* pic = AddObjekt(okPicture);
    ASSERT_TRUE(Pixmill.newdib(&pic->Picture, 640, 480, 24, nullptr, 0));
    pic->Start = {0, 0, 40, 40, 0, 0, 0, 0, 0};
    pic->End = {0, 0, 200, 100, 0, 0, 1000, 0, 0};
    const mr::Movie m = compile();
    ASSERT_EQ(m.tags[1].code, mr::DefineBitsJPEG2);
    ASSERT_EQ(m.tags[2].code, mr::DefineShape);
    const std::vector<uint8_t>& jpeg = m.tags[1].body;
    // After the ID: the empty encoding table, then the JPEG file as written.
    EXPECT_EQ(std::vector<uint8_t>(jpeg.begin() + 2, jpeg.begin() + 8),
              (std::vector<uint8_t>{0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD8}));
    EXPECT_EQ(m.get<player::Bitmap>(m.tags[1]).size, QSize(133, 100));
    EXPECT_EQ(pic->Work.PicWidth, 133);
    EXPECT_EQ(pic->Work.PicHeight, 100);
    const std::vector<player::ShapeEdge>& edges = m.get<player::Shape>(m.tags[2]).edges;
    ASSERT_EQ(edges.size(), 4u);
    EXPECT_EQ(edges[0].from.x, 66 * 20);
    EXPECT_EQ(edges[0].fill1, 2);
    EXPECT_EQ(edges[0].to.x - edges[0].from.x, -133 * 20);
    EXPECT_EQ(edges[1].to.y - edges[1].from.y, -100 * 20);
    const player::ControlOp& place = m.tags[3].op;
    EXPECT_EQ(mr::Fixed(place.matrix.m11()), 65536 * 40 / 133);
    EXPECT_EQ(place.matrix.dx(), 40 * 10);
    EXPECT_EQ(place.matrix.dy(), 30 * 10);
}

TEST_F(CompileTest, ExtremeStoredValuesStillGiveAReadableMovie) {
    // Everything at the ends of its 32-bit range, as a damaged or hostile but
    // readable project may hold; the sanitizer build checks the arithmetic.
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    for (int32_t kind : {okText, okDrawing, okPicture}) {
        for (int32_t drawKind : {dkRectangle, dkEllipse}) {
            Objekt* o = AddObjekt(kind);
            o->DrawKind = drawKind;
            o->Start = {hi, lo, lo, hi, hi, lo, 0, lo, lo};
            o->End = {lo, hi, hi, lo, lo, hi, 200, hi, hi};
            if (kind == okPicture) {
                ASSERT_TRUE(Pixmill.newdib(&o->Picture, 3, 3, 24, nullptr, 0));
            }
        }
    }
    const mr::Movie m = compile();
    EXPECT_EQ(m.data.frames.size(), 3u);
    EXPECT_EQ(m.count(mr::DefineMorphShape), 2);
    for (const mr::Tag& t : m.tags)
        if (t.code == mr::DefineMorphShape) {
            EXPECT_TRUE(std::holds_alternative<player::MorphShape>(m.data.characters.at(t.id)));
        }
}

// A picture that cannot be encoded (here: a library without the in-memory
// encoder) fails the compilation; the movie already there stays as it was
// and nothing is left beside it.
TEST_F(CompileTest, APictureThatCannotBeExportedFailsAndKeepsTheOldMovie) {
    AddObjekt(okDrawing);
    Objekt* pic = AddObjekt(okPicture);
    ASSERT_TRUE(Pixmill.newdib(&pic->Picture, 9, 7, 24, nullptr, 0));
    const std::string path = dir.file("movie.swf");
    testsupport::WriteBytes(path, {'o', 'l', 'd'});
    const auto encoder = Pixmill.SaveDibToMemory;
    Pixmill.SaveDibToMemory = nullptr;
    CompileOptions options;
    options.outputPath = path;
    result = CompileMovie(options);
    Pixmill.SaveDibToMemory = encoder;
    EXPECT_FALSE(result.written);
    EXPECT_EQ(result.error, "element 2: the picture could not be encoded as JPEG");
    EXPECT_EQ(testsupport::ReadBytes(path), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

// A snapshot compiled in memory on another thread, while the live project is
// compiled to a file on this one, gives the same bytes and leaves the live
// elements as they were; the snapshot survives the live project's deletion.
TEST_F(CompileTest, SnapshotInMemoryOnAnotherThreadMatchesTheFile) {
    drawing(1000, 0); // times the compilation of the live project exchanges
    Objekt* t = AddObjekt(okText);
    t->End.FontSize = 40;
    Objekt* pic = AddObjekt(okPicture);
    ASSERT_TRUE(Pixmill.newdib(&pic->Picture, 32, 16, 24, nullptr, 0));
    pic->Picture.Bits[5] = 0x7F;
    Stage.setBackgroundColor(0x00102030);
    const std::unique_ptr<ProjectSnapshot> snapshot = TakeProjectSnapshot();

    CompileResult inMemory;
    std::thread worker([&] {
        CompileOptions options;
        options.inMemory = true;
        options.project = snapshot.get();
        inMemory = CompileMovie(options);
    });
    compile("live.swf");
    worker.join();
    ASSERT_TRUE(inMemory.written);
    EXPECT_EQ(inMemory.bytes, inMemory.movie.size());
    EXPECT_EQ(inMemory.movie, testsupport::ReadBytes(dir.file("live.swf")));

    ClearObjekts();
    CompileOptions again;
    again.inMemory = true;
    again.project = snapshot.get();
    const CompileResult second = CompileMovie(again);
    EXPECT_EQ(second.movie, inMemory.movie);
    EXPECT_EQ(snapshot->elements[0].Start.Time, 1000);
    EXPECT_EQ(snapshot->elements[0].Work.Depth, 0);
}

TEST_F(CompileTest, UnwritableOutputIsReported) {
    CompileOptions options;
    options.outputPath = dir.file("missing/movie.swf");
    EXPECT_FALSE(CompileMovie(options).written);
}

} // namespace

TEST_F(CompileTest, CancelStopsWithinAFrameAndKeepsTheOldFile) {
    drawing(0, 5000);
    const std::string path = dir.file("movie.swf");
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("old movie", f);
        std::fclose(f);
    }
    int framesBuilt = 0;
    CompileOptions options;
    options.outputPath = path;
    options.progress = [&](int32_t, int32_t) { ++framesBuilt; };
    options.cancelRequested = [&] { return framesBuilt == 3; };
    options.afterCompile = [this] { ++afterCompileCalls; };
    result = CompileMovie(options);
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.written);
    EXPECT_EQ(framesBuilt, 3);
    EXPECT_EQ(afterCompileCalls, 1);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[32] = {};
    EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 9u);
    std::fclose(f);
    EXPECT_STREQ(buf, "old movie");
}
