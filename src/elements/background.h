// A page background: a picture requested by name from the image service (not kept), drawn
// unscaled at the offsets it is given. Screens and an animation's editing view have one.
#pragma once

#include "render/image_service.h"

#include <cstdint>
#include <string>

namespace kq::render {
class Canvas;
}

namespace kq::elements {

class BackgroundPicture {
public:
    // The entry's name once requested (the service may have normalised it), else the name given.
    const std::string& Name() const { return entry_ ? entry_->name : name_; }
    // Stores the name and requests the picture when there is a service; when the picture is
    // already available, its pattern size is written to sizeX and sizeY.
    void Set(std::string name, render::ImageService* images, int32_t& sizeX, int32_t& sizeY);
    // Frame 0 at (x, y); nothing without an entry, a canvas or a loaded picture.
    void Draw(render::Canvas* canvas, render::ImageService* images, double x, double y,
              uint32_t tint, uint32_t blend) const;
    render::TKQIm* Entry() const { return entry_; }

private:
    std::string name_;
    render::TKQIm* entry_ = nullptr;
};

} // namespace kq::elements
