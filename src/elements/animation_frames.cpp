// The frame table of TKQAnim: building it from the keys (linear moves, splines, cross-fades)
// and drawing one frame of it.
#include "elements/animation.h"
#include "elements/image.h"

#include "render/canvas.h"
#include "render/image_service.h"
#include "scene/runtime.h"

#include <libalglib/interpolation.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace kq::elements {

using namespace scene;

namespace {

// A table beyond this many frames or records is not built further: real animations have a few
// thousand, and the limits keep a corrupt scene from asking for gigabytes.
constexpr size_t kMaxFrames = size_t{1} << 22;
constexpr size_t kMaxRecords = size_t{1} << 22;

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (up(a[i]) != up(b[i])) {
            return false;
        }
    }
    return true;
}

const TKQImage* AsImage(const TKQElement& e) {
    return e.Class() == ClassId::Image ? static_cast<const TKQImage*>(&e) : nullptr;
}

// Linear value at step s of n between a and b.
double Lerp(double a, double b, int n, int s) {
    return a + (b - a) / n * s;
}

} // namespace

// Spline data of one image Id: key times and the values at them while collecting, then the
// six splines built over them.
struct TKQAnim::SplineSet {
    std::string id;
    std::vector<double> t, x, y, scale, angle, scaleX, scaleY;
    alglib::spline1dinterpolant sx, sy, sScale, sAngle, sScaleX, sScaleY;
    bool built = false;
};

// Here, where the spline sets are complete types.
TKQAnim::TKQAnim(TKQElement* parent) : TKQElement(parent) {
    hxDrawFx = 1;
    MousedNotVis = true;
}

TKQAnim::~TKQAnim() = default;

uint32_t TKQAnim::PoolName(std::string_view name) {
    names_.emplace_back(name);
    return static_cast<uint32_t>(names_.size() - 1);
}

const TKQAnKeyIm* TKQAnim::FrameRecords(int32_t f, size_t& count) const {
    count = 0;
    if (f < 0 || f >= FrameCount()) {
        return nullptr;
    }
    const FrameSpan& span = frames_[static_cast<size_t>(f)];
    count = span.count;
    return count ? records_.data() + span.first : nullptr;
}

const TKQAnim::SplineSet* TKQAnim::SplinesFor(std::string_view id) const {
    for (const SplineSet& set : splines_) {
        if (set.id == id) {
            return set.built ? &set : nullptr;
        }
    }
    return nullptr;
}

void TKQAnim::BuildSplines() {
    splines_.clear();
    if (!Interpol) {
        return;
    }
    const double ax = GetAbsX();
    const double ay = GetAbsY();
    int64_t time = 0;
    for (const auto& child : Children()) {
        if (child->Class() != ClassId::AnKey) {
            continue;
        }
        const auto& key = static_cast<const TKQAnKey&>(*child);
        for (const auto& grandchild : key.Children()) {
            const TKQImage* image = AsImage(*grandchild);
            const render::TextureImage* picture = image ? image->Picture() : nullptr;
            if (!picture || image->Id.empty()) {
                continue;
            }
            auto it = std::find_if(splines_.begin(), splines_.end(),
                                   [&](const SplineSet& s) { return s.id == image->Id; });
            if (it == splines_.end()) {
                splines_.emplace_back();
                splines_.back().id = image->Id;
                it = splines_.end() - 1;
            }
            const double scale = image->GetScale();
            it->t.push_back(static_cast<double>(time));
            it->x.push_back(image->GetAbsX() - ax + scale * picture->PatternWidth() / 2.0);
            it->y.push_back(image->GetAbsY() - ay + scale * picture->PatternHeight() / 2.0);
            it->scale.push_back(scale);
            it->angle.push_back(image->GetAngle());
            it->scaleX.push_back(image->ScaleX);
            it->scaleY.push_back(image->ScaleY);
        }
        time += int64_t{key.Count} + 1;
    }

    for (SplineSet& set : splines_) {
        if (set.t.size() < 2) {
            continue;
        }
        // Cubic splines, parabolically terminated at both ends (boundary type 0); the library
        // sorts the points by t and gives the straight line through two points. It throws on
        // input it cannot fit (two points at one time, values that are not finite): that Id
        // then moves linearly.
        try {
            const auto n = static_cast<alglib::ae_int_t>(set.t.size());
            alglib::real_1d_array t;
            t.setcontent(n, set.t.data());
            auto build = [&](const std::vector<double>& v, alglib::spline1dinterpolant& out) {
                alglib::real_1d_array y;
                y.setcontent(n, v.data());
                alglib::spline1dbuildcubic(t, y, n, 0, 0.0, 0, 0.0, out);
            };
            build(set.x, set.sx);
            build(set.y, set.sy);
            build(set.scale, set.sScale);
            build(set.scaleX, set.sScaleX);
            build(set.scaleY, set.sScaleY);
            build(set.angle, set.sAngle);
            set.built = true;
        } catch (const alglib::ap_error& e) {
            spdlog::warn("animation '{}': no spline for image '{}' ({}); it moves linearly", Id,
                         set.id, e.msg);
        }
    }
}

void TKQAnim::Rebuild() {
    if (DB() && Rt().loading) {
        return;
    }
    frames_.clear();
    records_.clear();
    names_.clear();
    names_.emplace_back(); // index 0: the empty name
    BuildSplines();

    std::vector<const TKQAnKey*> keys;
    for (const auto& child : Children()) {
        if (child->Class() == ClassId::AnKey) {
            keys.push_back(static_cast<const TKQAnKey*>(child.get()));
        }
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        const TKQAnKey* next = i + 1 < keys.size() ? keys[i + 1] : (Rep ? keys[0] : nullptr);
        if (frames_.size() + keys[i]->Count + 1 > kMaxFrames) {
            if (!warnedTooLarge_) {
                spdlog::warn("animation '{}': more than {} frames; later keys are left out", Id,
                             kMaxFrames);
                warnedTooLarge_ = true;
            }
            break;
        }
        BuildKey(*keys[i], static_cast<int32_t>(i), next, keys[i]->Morph);
    }
}

void TKQAnim::BuildKey(const TKQAnKey& key, int32_t keyIndex, const TKQAnKey* next, bool keyMorph) {
    const uint32_t frameCount = key.Count + 1u;
    keyImages_.clear();
    uint32_t stride = 0; // records per frame of this key
    for (const auto& child : key.Children()) {
        const TKQImage* image = AsImage(*child);
        if (!image || !image->Picture()) {
            continue;
        }
        const TKQImage* match = nullptr;
        if (next && !image->Id.empty()) {
            for (const auto& candidate : next->Children()) {
                const TKQImage* other = AsImage(*candidate);
                if (other && EqualNoCase(other->Id, image->Id)) {
                    match = other;
                    break;
                }
            }
            if (!match) {
                continue; // the next key lacks this Id: it is left out of this key
            }
        }
        if (!match) {
            match = image;
        }
        const render::TextureImage* picture = image->Picture();
        const render::TextureImage* matchPicture = match->Picture();
        if (!matchPicture) {
            continue;
        }
        KeyImage ki;
        ki.image = image;
        ki.match = match;
        if (Interpol && image->Interpol && !image->Id.empty()) {
            ki.splines = SplinesFor(image->Id);
        }
        const bool changes = matchPicture != picture || match->Anim != image->Anim;
        // A key of a single frame has no time to fade: it shows the outgoing picture alone.
        ki.crossFade = changes && keyMorph && key.Count > 0;
        stride += ki.crossFade ? 2 : 1;
        keyImages_.push_back(ki);
    }

    const size_t needed = size_t{stride} * frameCount;
    if (records_.size() + needed > kMaxRecords) {
        if (!warnedTooLarge_) {
            spdlog::warn("animation '{}': more than {} records; later keys show nothing", Id,
                         kMaxRecords);
            warnedTooLarge_ = true;
        }
        stride = 0;
        keyImages_.clear();
    }
    const auto base = static_cast<uint32_t>(records_.size());
    records_.resize(records_.size() + size_t{stride} * frameCount);
    for (uint32_t s = 0; s < frameCount; ++s) {
        frames_.push_back({base + s * stride, stride});
    }
    uint32_t slot = 0;
    for (KeyImage& ki : keyImages_) {
        ki.idName = PoolName(ki.image->Id);
        ki.picName = PoolName(ki.image->GetImImage());
        if (ki.crossFade) {
            ki.matchIdName = PoolName(ki.match->Id);
            ki.matchPicName = PoolName(ki.match->GetImImage());
        }
        FillRecords(ki, key, keyIndex, base, stride, slot);
        slot += ki.crossFade ? 2 : 1;
    }
}

void TKQAnim::FillRecords(const KeyImage& ki, const TKQAnKey& key, int32_t keyIndex, uint32_t base,
                          uint32_t stride, uint32_t slot) {
    const TKQImage& im = *ki.image;
    const TKQImage& mt = *ki.match;
    const render::TextureImage& picture = *im.Picture();
    const render::TextureImage& matchPicture = *mt.Picture();
    const bool changes = &matchPicture != &picture || mt.Anim != im.Anim;
    const double frameW = picture.PatternWidth();
    const double frameH = picture.PatternHeight();
    const double ax = GetAbsX();
    const double ay = GetAbsY();
    const double left0 = im.GetAbsX() - ax, left1 = mt.GetAbsX() - ax;
    const double top0 = im.GetAbsY() - ay, top1 = mt.GetAbsY() - ay;
    const double trans0 = im.GetHxTrans(), trans1 = mt.GetHxTrans();
    const int n = key.Count + 1;
    const int32_t frame0 = static_cast<int32_t>(frames_.size()) - n;
    const double h = key.Count / 2.0;

    for (int s = 0; s < n; ++s) {
        TKQAnKeyIm& r = records_[base + static_cast<uint32_t>(s) * stride + slot];
        const int32_t f = frame0 + s;
        r.keyMark = s == 0 ? -(keyIndex + 1) : keyIndex;
        r.step = s;
        r.idName = ki.idName;
        r.picName = ki.picName;
        r.entry = im.Entry();
        r.pattern = im.Anim;
        r.scale = Lerp(im.GetScale(), mt.GetScale(), n, s);
        r.scaleX = Lerp(im.ScaleX, mt.ScaleX, n, s);
        r.scaleY = Lerp(im.ScaleY, mt.ScaleY, n, s);
        r.angle = Lerp(im.GetAngle(), mt.GetAngle(), n, s);
        r.x = Lerp(left0, left1, n, s) + frameW * 0.5 * r.scale;
        r.y = Lerp(top0, top1, n, s) + frameH * 0.5 * r.scale;
        if (const SplineSet* sp = ki.splines) {
            const double t = f;
            r.x = alglib::spline1dcalc(sp->sx, t);
            r.y = alglib::spline1dcalc(sp->sy, t);
            if (im.InterpolSc) {
                r.scale = alglib::spline1dcalc(sp->sScale, t);
                r.scaleX = alglib::spline1dcalc(sp->sScaleX, t);
                r.scaleY = alglib::spline1dcalc(sp->sScaleY, t);
            }
            r.angle = alglib::spline1dcalc(sp->sAngle, t);
        }
        const int32_t alpha = RoundHalfEven(Lerp(trans0, trans1, n, s));
        r.color = im.GetHxColor() + (static_cast<uint32_t>(alpha) << 24);
        r.blend = im.hxDrawFx;
        if (!changes) {
            continue;
        }
        // Another picture: no movement, the image stays where it is authored.
        r.x = left0 + frameW * 0.5 * im.GetScale();
        r.y = top0 + frameH * 0.5 * im.GetScale();
        r.scale = im.GetScale();
        r.angle = im.GetAngle();
        r.color = im.ColorWord();
        if (!ki.crossFade) {
            continue;
        }
        // The outgoing picture dims to 223/255 over the first half while the incoming one
        // rises to 223; then the outgoing fades out and the incoming reaches full.
        const bool firstHalf = s <= key.Count / 2;
        const double g = firstHalf ? 255.0 - 32.0 * s / h : 223.0 - 223.0 * (s - h) / h;
        const double k = firstHalf ? 223.0 * s / h : 223.0 + 32.0 * (s - h) / h;
        r.color =
            im.GetHxColor() + (static_cast<uint32_t>(RoundHalfEven(trans0 * g / 255.0)) << 24);

        TKQAnKeyIm& m = records_[base + static_cast<uint32_t>(s) * stride + slot + 1];
        m.keyMark = r.keyMark;
        m.step = s;
        m.idName = ki.matchIdName;
        m.picName = ki.matchPicName;
        m.entry = mt.Entry();
        m.pattern = mt.Anim;
        m.scale = mt.GetScale();
        m.x = left1 + matchPicture.PatternWidth() * 0.5 * m.scale;
        m.y = top1 + matchPicture.PatternHeight() * 0.5 * m.scale;
        m.angle = mt.GetAngle();
        m.scaleX = mt.ScaleX;
        m.scaleY = mt.ScaleY;
        m.blend = mt.hxDrawFx;
        m.color =
            mt.GetHxColor() + (static_cast<uint32_t>(RoundHalfEven(trans1 * k / 255.0)) << 24);
    }
}

void TKQAnim::DrawFrame(int32_t f, uint32_t tint, double ox, double oy) {
    if (f < 0 || f >= FrameCount() || !DB()) {
        return;
    }
    render::Canvas* canvas = Rt().canvas;
    render::ImageService* images = Rt().images;
    if (!canvas || !images) {
        return;
    }
    back_.Draw(canvas, images, ox, oy, tint, hxDrawFx);
    size_t count = 0;
    const TKQAnKeyIm* records = FrameRecords(f, count);
    for (size_t i = 0; i < count; ++i) {
        const TKQAnKeyIm& r = records[i];
        const render::TextureImage* picture = r.entry ? images->GetImage(*r.entry) : nullptr;
        if (!picture) {
            continue;
        }
        canvas->SetFiltering(true);
        const double frameW = picture->PatternWidth();
        const double frameH = picture->PatternHeight();
        double px = ox + r.x;
        double py = oy + r.y;
        double w = frameW * r.scaleX * r.scale;
        double h = frameH * r.scaleY * r.scale;
        const double halfW = w / 2; // the trimmed quad keeps its place
        const double halfH = h / 2;
        int64_t cutL = 0, cutR = 0, cutT = 0, cutB = 0;
        GuardCut(px - halfW, px + halfW, r.scale, r.scaleX, cutL, cutR);
        GuardCut(py - halfH, py + halfH, r.scale, r.scaleY, cutT, cutB);
        px += r.scale * static_cast<double>(cutL) * r.scaleX;
        w -= r.scale * static_cast<double>(cutL + cutR) * r.scaleX;
        py += r.scale * static_cast<double>(cutT) * r.scaleY;
        h -= r.scale * static_cast<double>(cutT + cutB) * r.scaleY;
        const double srcW = frameW - static_cast<double>(cutL + cutR);
        const double srcH = frameH - static_cast<double>(cutT + cutB);
        if (srcW <= 0 || srcH <= 0) {
            continue; // trimmed away (an empty source would mean the whole pattern)
        }
        render::QuadDraw quad;
        quad.texture = picture->Texture();
        quad.pattern = r.pattern;
        quad.colors = {r.color, r.color, r.color, r.color};
        quad.blend = r.blend;
        quad.source = {static_cast<float>(cutL), static_cast<float>(cutT), static_cast<float>(srcW),
                       static_cast<float>(srcH)};
        const double a = r.angle * std::numbers::pi / 180.0;
        const double c = std::cos(a);
        const double sn = std::sin(a);
        const double corners[4][2] = {
            {-halfW, -halfH}, {w - halfW, -halfH}, {w - halfW, h - halfH}, {-halfW, h - halfH}};
        for (size_t k = 0; k < 4; ++k) {
            const double cx = corners[k][0];
            const double cy = corners[k][1];
            quad.points[k] = {static_cast<float>(px + cx * c - cy * sn),
                              static_cast<float>(py + cx * sn + cy * c)};
        }
        canvas->DrawQuad(quad);
    }
}

} // namespace kq::elements
