// The root's star sprites in the main loop: stepped after the current screen's Process and
// drawn from the particle sheet after each layer.
#include "render/image_service.h"
#include "scene/db.h"

namespace kq::scene {

void TKQDB::ProcessStars() {
    if (!runtime_.loadingActive) {
        stars_->Process();
    }
}

void TKQDB::RenderStars(int32_t layer) {
    if (runtime_.loadingActive || !runtime_.canvas || !runtime_.images || !particleImage_ ||
        stars_->LiveCount() == 0) {
        return;
    }
    const render::TextureImage* sheet = runtime_.images->GetImage(*particleImage_);
    if (!sheet) {
        return;
    }
    stars_->Render(layer, *runtime_.canvas, sheet->Texture());
}

} // namespace kq::scene
