#!/bin/bash
# Writes the demo's particle parameter files with kqpack (KQPACK names the program, else the
# one on PATH). Times are in the effects' time units: one per second at DAnim 1. Angles are
# radians; direction 0 points down the screen, 3.14159 up. The outputs are committed.
set -euo pipefail
kqpack=${KQPACK:-kqpack}
cd "$(dirname "$0")/../media"
mkdir -p effects

# Sparkles around the gem that follows the mouse: short-lived, spinning, additive; moved with
# SetRealPos they leave a trail.
"$kqpack" particles -o effects/sparkle.bin \
    --set first_pattern=1 --set last_pattern=-1 --set blend=260 \
    --set rate=60 --set duration=100000 --set life_min=0.4 --set life_max=0.9 \
    --set spread=6.2832 --set speed_min=5 --set speed_max=25 \
    --set size_start=0.9 --set size_middle=0.6 --set size_end=0.1 --set size_variation=0.4 \
    --set spin_start=0 --set spin_middle=1.5 --set spin_end=3 \
    --set color_start=0xFFFFFFFF --set color_middle=0xFFA0D8FF --set color_end=0x0060A0FF \
    --set color_variation=0.5 --set middle_fraction=0.4

# Smoke from the chimney: rises (negative weight), drifts, grows and fades.
"$kqpack" particles -o effects/smoke.bin \
    --set first_pattern=2 --set last_pattern=-1 --set blend=1284 \
    --set rate=14 --set duration=100000 --set life_min=3 --set life_max=4 \
    --set direction=3.14159 --set spread=0.35 --set speed_min=35 --set speed_max=55 \
    --set weight_min=-0.6 --set weight_max=-1.2 \
    --set tangential_min=-0.4 --set tangential_max=0.4 \
    --set size_start=0.7 --set size_middle=1.8 --set size_end=3.2 --set size_variation=0.3 \
    --set spin_start=0 --set spin_middle=0.8 --set spin_end=1.6 \
    --set color_start=0xC0909090 --set color_middle=0x80707070 --set color_end=0x00505050 \
    --set middle_fraction=0.4

# A burst that ends by itself: a quarter of a time unit of emission, then the sparks fall
# and fade; the effect switches off after the last one.
"$kqpack" particles -o effects/burst.bin \
    --set first_pattern=0 --set last_pattern=-1 --set blend=260 \
    --set rate=400 --set duration=0.25 --set life_min=0.6 --set life_max=1.2 \
    --set spread=6.2832 --set speed_min=80 --set speed_max=220 \
    --set weight_min=4 --set weight_max=8 \
    --set size_start=1 --set size_middle=0.7 --set size_end=0.2 \
    --set color_start=0xFFFFE060 --set color_middle=0xFFFF7020 --set color_end=0x00FF2000 \
    --set color_variation=0.3 --set middle_fraction=0.5
