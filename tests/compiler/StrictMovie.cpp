#include "StrictMovie.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace strictmovie {

std::vector<int> Movie::codes() const {
    std::vector<int> v;
    for (const Tag& t : tags)
        v.push_back(t.code);
    return v;
}

int Movie::count(int code) const {
    return static_cast<int>(
        std::count_if(tags.begin(), tags.end(), [code](const Tag& t) { return t.code == code; }));
}

std::vector<std::vector<const Tag*>> Movie::frames() const {
    std::vector<std::vector<const Tag*>> out(1);
    for (const Tag& t : tags) {
        if (t.code == ShowFrame)
            out.emplace_back();
        else if (t.code != End)
            out.back().push_back(&t);
    }
    out.pop_back(); // after the last ShowFrame only End follows
    return out;
}

namespace {

bool isControl(int code) {
    return code == PlaceObject || code == PlaceObject2 || code == RemoveObject ||
           code == RemoveObject2;
}

// What the compiler never writes; "" when the movie holds none of it.
std::string unexpected(const Movie& m) {
    for (const Tag& t : m.tags) {
        const std::string where = player::tagName(t.code) + " " + std::to_string(t.id) + ": ";
        if (isControl(t.code) && t.op.hasColor) return where + "a colour transform";
        const auto it = m.data.characters.find(t.id);
        if (t.code == DefineShape && it != m.data.characters.end()) {
            const auto& shape = std::get<player::Shape>(it->second);
            if (!shape.lines.empty()) return where + "line styles";
            for (const player::FillStyle& f : shape.fills)
                if (f.kind != player::FillStyle::Kind::Bitmap) return where + "a fill not a bitmap";
        }
        if (t.code == DefineMorphShape && it != m.data.characters.end()) {
            const auto& morph = std::get<player::MorphShape>(it->second);
            if (!morph.startLines.empty()) return where + "line styles";
            for (const player::FillStyle& f : morph.startFills)
                if (f.kind != player::FillStyle::Kind::Solid) return where + "a fill not solid";
        }
    }
    return "";
}

} // namespace

Movie Read(const std::vector<uint8_t>& bytes) {
    Movie m;
    std::string error;
    if (!player::readSwf(bytes, &m.data, &error, player::ReadMode::Strict)) {
        ADD_FAILURE() << "strict reading: " << error;
        return Movie{};
    }
    std::vector<const player::ControlOp*> ops;
    for (const auto& frame : m.data.frames)
        for (const player::ControlOp& op : frame)
            ops.push_back(&op);
    size_t next = 0;
    for (const player::TagEntry& e : m.data.tags) {
        Tag t;
        t.code = e.code;
        const auto body = bytes.begin() + static_cast<std::ptrdiff_t>(e.bodyOffset);
        t.body.assign(body, body + static_cast<std::ptrdiff_t>(e.bodyLength));
        if (t.body.size() >= 2) t.id = static_cast<uint16_t>(t.body[0] | t.body[1] << 8);
        if (isControl(t.code)) {
            if (next == ops.size()) {
                ADD_FAILURE() << "more control tags than operations";
                return Movie{};
            }
            t.op = *ops[next++];
        }
        m.tags.push_back(std::move(t));
    }
    EXPECT_EQ(next, ops.size()) << "operations without their control tags";
    const std::string what = unexpected(m);
    EXPECT_EQ(what, "") << "the compiler never writes this";
    return m;
}

Movie ReadFile(const std::string& path) {
    return Read(testsupport::ReadBytes(path));
}

int32_t Fixed(double factor) {
    return static_cast<int32_t>(std::lround(factor * 65536));
}

} // namespace strictmovie
