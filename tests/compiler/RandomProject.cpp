#include "RandomProject.h"

#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <climits>
#include <random>
#include <stdexcept>

namespace randomproject {
namespace {

// Characters code page 932 holds, by kind.
struct Pools {
    std::u16string kanji, kana, latin, symbols;

    Pools() {
        const auto encodable = [](char16_t c) {
            return platform::utf16ToCp932(std::u16string(1, c)).has_value();
        };
        for (char16_t c = 0x4E00; kanji.size() < 3000; ++c)
            if (encodable(c)) kanji += c;
        for (char16_t c = 0x3041; c <= 0x3093; ++c)
            kana += c;
        for (char16_t c = 0x30A1; c <= 0x30F6; ++c)
            kana += c;
        for (char16_t c = 0x20; c <= 0x7E; ++c)
            latin += c;
        for (char16_t c : std::u16string(u"、。・「」『』【】※〒→←↑↓○●◎◇◆□■△▲▽▼★☆♪℃＄％＃＆＊＠§"))
            if (encodable(c)) symbols += c;
    }
};

const Pools& pools() {
    static const Pools p;
    return p;
}

class Random {
public:
    explicit Random(uint32_t seed) : m_engine(seed) {}
    int64_t between(int64_t lo, int64_t hi) {
        return std::uniform_int_distribution<int64_t>(lo, hi)(m_engine);
    }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_engine) < p; }
    template <typename T> const T& pick(const std::vector<T>& v) {
        return v[size_t(between(0, int64_t(v.size()) - 1))];
    }
    char16_t pick(const std::u16string& s) { return s[size_t(between(0, int64_t(s.size()) - 1))]; }

private:
    std::mt19937 m_engine;
};

int32_t coordinate(Random& r) {
    if (r.chance(0.9)) return static_cast<int32_t>(r.between(-500, 1500));
    return r.pick(std::vector<int32_t>{INT32_MIN, INT32_MAX, -1000000000, 1000000000,
                                       static_cast<int32_t>(r.between(INT32_MIN, INT32_MAX))});
}

std::u16string text(Random& r) {
    const double lengthKind = r.between(0, 99);
    const int64_t length = lengthKind < 70   ? r.between(1, 40)
                           : lengthKind < 93 ? r.between(41, 400)
                                             : r.between(401, 2000);
    // A palette of different characters, drawn from with repeats.
    const int64_t distinct = r.between(1, std::min<int64_t>(length, 1200));
    std::u16string palette;
    for (int64_t i = 0; i < distinct; ++i) {
        const int64_t kind = r.between(0, 9);
        const Pools& p = pools();
        palette += r.pick(kind < 5 ? p.kanji : kind < 7 ? p.kana : kind < 9 ? p.latin : p.symbols);
    }
    std::u16string out;
    for (int64_t i = 0; i < length; ++i)
        out += r.pick(palette);
    return out;
}

} // namespace

Project Generate(uint32_t seed, bool append) {
    Random r(seed);
    StageSettings settings;
    settings.setWidth(r.between(StageSettings::MinSize, StageSettings::MaxSize));
    settings.setHeight(r.between(StageSettings::MinSize, StageSettings::MaxSize));
    settings.setFramesPerSecond(r.between(StageSettings::MinFps, StageSettings::MaxFps));
    settings.setBackgroundColor(static_cast<int32_t>(r.between(0, 0xFFFFFF)));
    if (!append) {
        ClearObjekts();
        Stage = settings;
    }

    Project project;
    project.fps = Stage.framesPerSecond();
    const int64_t countKind = r.between(0, 99);
    const int64_t count = countKind < 75   ? r.between(1, 6)
                          : countKind < 95 ? r.between(7, 40)
                                           : r.between(41, 200);
    // Every frame of a moving text defines it again; the frames are kept to
    // what the character IDs of many moving texts allow.
    const int64_t frames = std::min<int64_t>(240, 12000 / count);
    const int64_t longest = frames * 1000 / project.fps;

    for (int64_t i = 0; i < count; ++i) {
        const int64_t kindRoll = r.between(0, 99);
        const int32_t kind = kindRoll < 45   ? okText
                             : kindRoll < 75 ? okDrawing
                             : kindRoll < 95 ? okPicture
                                             : okButton;
        Objekt* o = nullptr;
        if (kind == okPicture) {
            DibRecord pic{};
            const int32_t w = static_cast<int32_t>(r.between(1, 257));
            const int32_t h = static_cast<int32_t>(r.between(1, 257));
            if (!Pixmill.newdib(&pic, w, h, 24, nullptr, 0))
                throw std::runtime_error("the image library made no picture");
            const int32_t a = static_cast<int32_t>(r.between(0, 0xFFFFFF));
            const int32_t b = static_cast<int32_t>(r.between(0, 0xFFFFFF));
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    Pixmill.setpixel(&pic, x, y, (x / 7 + y / 5) % 2 ? a : b);
            o = AddObjekt(kind, &pic);
        } else {
            o = AddObjekt(kind);
        }
        ElementInfo info;
        info.kind = kind;
        for (ObjektState* s : {&o->Start, &o->End}) {
            s->Left = coordinate(r);
            s->Top = coordinate(r);
            s->Right = coordinate(r);
            s->Bottom = coordinate(r);
            s->FontSize =
                static_cast<int32_t>(r.chance(0.9) ? r.between(1, 120) : r.between(0, 100000));
            s->Rotation = static_cast<int32_t>(r.chance(0.7) ? r.between(-3600, 3600)
                                                             : r.between(-2147483640, 2147483640));
            s->Time =
                static_cast<int32_t>(r.chance(0.05) ? r.between(-1000, -1) : r.between(0, longest));
            s->Transparency = static_cast<int32_t>(r.between(0, 100));
            s->Color = r.chance(0.95) ? static_cast<int32_t>(r.between(0, 0xFFFFFF))
                                      : static_cast<int32_t>(0x80000008u);
        }
        if (r.chance(0.1)) o->End.Time = o->Start.Time;
        o->DeleteAtEnd = r.chance(0.5) ? 1 : 0;
        o->DrawKind = r.chance(0.5) ? dkRectangle : dkEllipse;
        if (kind == okText) {
            info.text = text(r);
            ReplaceString(o->Text, *platform::utf16ToCp932(info.text));
            ReplaceString(o->FontName, r.pick(std::vector<std::string>{"IPAMincho", "IPAGothic",
                                                                       "IPAPGothic", ""}));
        }
        info.startTime = o->Start.Time;
        info.endTime = o->End.Time;
        info.deleteAtEnd = o->DeleteAtEnd != 0;
        project.maxTime = std::max({project.maxTime, o->Start.Time, o->End.Time});
        project.elements.push_back(std::move(info));
    }
    return project;
}

} // namespace randomproject
