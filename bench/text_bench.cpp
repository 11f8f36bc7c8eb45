// Texts: laying out 10,000 words wrapped in a 300-pixel box, and drawing 200 lines per frame
// on the recording canvas, with a bitmap font of 96 glyphs.
#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

#include "elements/classes.h"
#include "elements/text.h"
#include "media/image_decode.h"
#include "media/text_encoding.h"
#include "render/font.h"
#include "render/recording_canvas.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"

namespace {

using namespace kq;

std::string Descriptor() {
    std::string d = "info face=\"B\" size=16 unicode=0\n"
                    "common lineHeight=18 base=14 scaleW=64 scaleH=64 pages=1\n"
                    "page id=0 file=\"b_0.png\"\n";
    for (int c = 32; c < 128; ++c) {
        d += "char id=" + std::to_string(c) + " x=" + std::to_string((c % 8) * 8) +
             " y=" + std::to_string((c / 8 % 8) * 8) + " width=7 height=8 xoffset=0 yoffset=2" +
             " xadvance=" + std::to_string(6 + c % 5) + " page=0\n";
    }
    return d;
}

struct TextScene {
    media::TextCodec codec;
    render::RecordingCanvas canvas;
    render::FontCollection fonts{canvas, codec};
    scene::Runtime rt{elements::ElementClasses()};
    scene::TKQDB db{rt};
    scene::TKQElement* screen = nullptr;

    TextScene() {
        media::Picture page;
        page.width = 64;
        page.height = 64;
        page.bitsPerPixel = 32;
        page.pixels.assign(64 * 64, 0xFFFFFFFFu);
        const std::string png = media::EncodePng(page);
        fonts.AddFont("Body", Descriptor(),
                      [&](std::string_view) { return std::optional<std::string>(png); });
        rt.canvas = &canvas;
        rt.fonts = &fonts;
        screen = rt.classes.CreateChild(db, "TKQScreen");
    }
    ~TextScene() { rt.fonts = nullptr; }

    elements::TKQText& Text() {
        auto* t = static_cast<elements::TKQText*>(rt.classes.CreateChild(*screen, "TKQText"));
        t->SetFont("Body");
        t->SetEnEnter(true);
        t->SetHxTrans2(255);
        return *t;
    }
};

std::string Words(int count) {
    static const char* kWords[] = {"the",  "quick", "brown", "fox",       "jumps", "over", "a",
                                   "lazy", "dog",   "while", "seventeen", "owls",  "watch"};
    std::string s;
    for (int i = 0; i < count; ++i) {
        if (i != 0) {
            s += (i % 40 == 0) ? "\\n" : " ";
        }
        s += kWords[i % 13];
    }
    return s;
}

void BM_LayoutTenThousandWords(benchmark::State& state) {
    TextScene scene;
    elements::TKQText& text = scene.Text();
    text.SetSizeX(300);
    text.SetAutoEnter(true);
    const std::string words = Words(10000);
    for (auto _ : state) {
        text.SetText(words);
        benchmark::DoNotOptimize(text.Laid().data());
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    state.counters["lines"] = static_cast<double>(text.LaidLines().size());
}
BENCHMARK(BM_LayoutTenThousandWords)->Unit(benchmark::kMicrosecond);

void BM_DrawTwoHundredLines(benchmark::State& state) {
    TextScene scene;
    elements::TKQText& text = scene.Text();
    text.SetSizeX(1000);
    text.SetSizeY(768);
    text.Shadow = true;
    std::string lines;
    for (int i = 0; i < 200; ++i) {
        lines += "Line " + std::to_string(i) + " of the dialogue, forty characters\\n";
    }
    text.SetText(lines);
    for (auto _ : state) {
        scene.canvas.ClearCalls();
        text.Render(0, 0xFFFFFFFFu, 0, 0, false);
        benchmark::DoNotOptimize(scene.canvas.Calls().data());
    }
    state.SetItemsProcessed(state.iterations() * 200);
    state.counters["quads"] = static_cast<double>(scene.canvas.Calls().size());
}
BENCHMARK(BM_DrawTwoHundredLines)->Unit(benchmark::kMicrosecond);

} // namespace
