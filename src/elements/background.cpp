#include "elements/background.h"

#include "render/canvas.h"

namespace kq::elements {

void BackgroundPicture::Set(std::string name, render::ImageService* images, int32_t& sizeX,
                            int32_t& sizeY) {
    name_ = std::move(name);
    entry_ = nullptr;
    if (!images || name_.empty()) {
        return;
    }
    entry_ = &images->LoadImage(name_, false);
    if (const render::TextureImage* picture = images->GetImage(*entry_)) {
        sizeX = picture->PatternWidth();
        sizeY = picture->PatternHeight();
    }
}

void BackgroundPicture::Draw(render::Canvas* canvas, render::ImageService* images, double x,
                             double y, uint32_t tint, uint32_t blend) const {
    if (!entry_ || !canvas || !images) {
        return;
    }
    if (const render::TextureImage* picture = images->GetImage(*entry_)) {
        canvas->DrawAt(picture->Texture(), 0, static_cast<float>(x), static_cast<float>(y), tint,
                       blend);
    }
}

} // namespace kq::elements
