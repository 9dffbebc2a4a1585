// Glyph outline throughput: FontOutlineCache::outline over Japanese and Latin
// text, against FreeType's own FT_Load_Glyph on the same glyphs.
#include "platform/GlyphOutline.h"

#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

namespace {

const std::u16string kJapanese = u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ"
                                 u"。何でも薄暗いじめじめした所で"
                                 u"ニャーニャー泣いていた事だけは記憶している。アニメーションの書き"
                                 u"出し、文字の輪郭、漢字仮名交じり文。";
const std::u16string kLatin = u"The quick brown fox jumps over the lazy dog. Pack my box with five "
                              u"dozen liquor jugs! 0123456789";

platform::FontOutlineCache& cache() {
    static platform::FontOutlineCache c;
    return c;
}

void outlines(benchmark::State& state, const char* face, const std::u16string& text) {
    const platform::FontFace& f = cache().faceUtf8(face);
    platform::GlyphOutline out;
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (char16_t ch : text) {
            cache().outline(f, ch, out);
            bytes += out.data.size();
        }
        benchmark::DoNotOptimize(out.data.data());
    }
    state.counters["glyphs/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * text.size()), benchmark::Counter::kIsRate);
    state.counters["bytes/glyph"] =
        static_cast<double>(bytes) / static_cast<double>(state.iterations() * text.size());
}

// FreeType alone: char index lookup and an unscaled, unhinted glyph load.
void rawLoad(benchmark::State& state, const char* face, const std::u16string& text) {
    const platform::FontFace& f = cache().faceUtf8(face);
    FT_Library lib = nullptr;
    FT_Face ft = nullptr;
    FT_Init_FreeType(&lib);
    FT_New_Face(lib, f.file().c_str(), f.faceIndex(), &ft);
    for (auto _ : state) {
        for (char16_t ch : text) {
            FT_Load_Glyph(ft, FT_Get_Char_Index(ft, ch),
                          FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
            benchmark::DoNotOptimize(ft->glyph->outline.n_points);
        }
    }
    state.counters["glyphs/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * text.size()), benchmark::Counter::kIsRate);
    FT_Done_Face(ft);
    FT_Done_FreeType(lib);
}

// FreeType alone with its own scaling to a 1000-pixel em, unhinted.
void rawLoadScaled(benchmark::State& state, const char* face, const std::u16string& text) {
    const platform::FontFace& f = cache().faceUtf8(face);
    FT_Library lib = nullptr;
    FT_Face ft = nullptr;
    FT_Init_FreeType(&lib);
    FT_New_Face(lib, f.file().c_str(), f.faceIndex(), &ft);
    FT_Set_Pixel_Sizes(ft, 0, platform::kDesignCellHeight);
    for (auto _ : state) {
        for (char16_t ch : text) {
            FT_Load_Glyph(ft, FT_Get_Char_Index(ft, ch), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
            benchmark::DoNotOptimize(ft->glyph->outline.n_points);
        }
    }
    state.counters["glyphs/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * text.size()), benchmark::Counter::kIsRate);
    FT_Done_Face(ft);
    FT_Done_FreeType(lib);
}

// Opening the font configuration and the default Japanese face: the fixed
// cost of one compilation.
void cacheStartup(benchmark::State& state) {
    for (auto _ : state) {
        platform::FontOutlineCache c;
        benchmark::DoNotOptimize(&c.faceUtf8("ＭＳ ゴシック"));
    }
}

BENCHMARK_CAPTURE(outlines, japanese_gothic, "ＭＳ ゴシック", kJapanese);
BENCHMARK_CAPTURE(outlines, japanese_mincho, "ＭＳ 明朝", kJapanese);
BENCHMARK_CAPTURE(outlines, latin_sans, "Arial", kLatin);
BENCHMARK_CAPTURE(outlines, japanese_lent_to_sans, "Arial", kJapanese);
BENCHMARK_CAPTURE(rawLoad, japanese_gothic, "ＭＳ ゴシック", kJapanese);
BENCHMARK_CAPTURE(rawLoad, japanese_mincho, "ＭＳ 明朝", kJapanese);
BENCHMARK_CAPTURE(rawLoad, latin_sans, "Arial", kLatin);
BENCHMARK_CAPTURE(rawLoadScaled, japanese_gothic, "ＭＳ ゴシック", kJapanese);
BENCHMARK_CAPTURE(rawLoadScaled, latin_sans, "Arial", kLatin);
BENCHMARK(cacheStartup)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
