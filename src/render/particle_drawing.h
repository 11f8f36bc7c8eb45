// Draws a particle system through the canvas: each quad the system hands out becomes one
// rotated, scaled pattern of the particle image, tinted with the particle's colour and drawn
// with the system's blend value.
#pragma once

#include "media/particle_system.h"
#include "render/canvas.h"

namespace kq::render {

// Draws the live particles of `system` with the patterns of `texture`, each centred on its
// position plus (offsetX, offsetY), colour ANDed with `mask`, culled against the 1024 x 768
// scene. An unknown texture (kNoTexture included) draws nothing. Filtering is left as it is.
void DrawParticles(Canvas& canvas, TextureId texture, const media::ParticleSystem& system,
                   float offsetX, float offsetY, Color mask);

} // namespace kq::render
