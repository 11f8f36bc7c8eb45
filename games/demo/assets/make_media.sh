#!/bin/bash
# Regenerates the demo game's buttons, screens and sounds (ImageMagick, sox, lame).
# The outputs are committed; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")/../media"
mkdir -p images sounds
font=DejaVu-Sans-Bold

button() { # name colour label
    convert -size 200x64 xc:none -fill "$2" -stroke white -strokewidth 3 \
        -draw "roundrectangle 2,2 197,61 16,16" -fill white -stroke none -font "$font" \
        -pointsize 26 -gravity center -annotate +0+0 "$3" "images/$1.png"
}
button btn_play_eng '#2f7d32' 'Play'
button btn_play_rus '#2f7d32' 'Играть'
button btn_settings '#1e5f99' 'Settings'
button btn_save '#8a5a00' 'Save'
button btn_load '#6a1b9a' 'Load'
button btn_back '#555555' 'Back'
button fs_on '#2f7d32' 'Full screen'
button fs_off '#555555' 'Windowed'
convert -size 96x64 xc:'#00247d' -fill white -draw "rectangle 0,26 95,37" \
    -draw "rectangle 42,0 53,63" -fill '#cf142b' -draw "rectangle 0,29 95,34" \
    -draw "rectangle 45,0 50,63" images/flag_eng.png
convert -size 96x64 xc:white -fill '#0039a6' -draw "rectangle 0,21 95,42" \
    -fill '#d52b1e' -draw "rectangle 0,43 95,63" images/flag_rus.png

convert -size 1024x768 gradient:'#101830'-'#000000' -fill '#c0c8ff' -font "$font" \
    -pointsize 48 -gravity center -annotate +0-60 'Loading' \
    -fill none -stroke '#c0c8ff' -strokewidth 3 -draw "rectangle 212,400 812,432" \
    images/loading.png
convert -size 24x28 xc:'#ffd54f' images/progress.png
convert -size 1024x768 gradient:'#3e2723'-'#795548' -fill '#5d4037' \
    -draw "rectangle 0,560 1023,767" -fill '#a1887f' -draw "rectangle 360,300 660,560" \
    images/room.png
convert -size 1024x768 gradient:'#263238'-'#455a64' -fill white -font "$font" \
    -pointsize 40 -gravity north -annotate +0+60 'Settings' -pointsize 28 \
    -gravity northwest -annotate +120+228 'Music' -annotate +120+348 'Sounds' \
    images/settings.png
convert -size 416x16 xc:'#90a4ae' images/track.png
# The effects screen: a chimney, a star-shaped picture for the "stars" cheat, two buttons.
button btn_burst '#c62828' 'Burst'
button btn_rise '#00838f' 'Rise'
convert -size 80x180 xc:'#6d4c41' -fill '#4e342e' -draw "rectangle 0,0 79,17" \
    -draw "rectangle 0,60 79,63" -draw "rectangle 0,120 79,123" images/chimney.png
convert -size 200x200 xc:none -fill '#ffd54f' -stroke '#ff8f00' -strokewidth 4 \
    -draw "polygon 100,6 124,74 196,74 138,118 160,192 100,148 40,192 62,118 4,74 76,74" \
    images/star.png
# The particle sheet and the effects' parameter files have their own scripts.
python3 ../assets/make_particles.py
convert -size 24x44 xc:'#ffca28' -fill '#ff6f00' -draw "rectangle 4,4 19,39" images/knob.png

# The Layers screen: the spotlight's soft round mask, an opaque mask for the effects, a striped
# picture that shows waves and filters, and its two buttons.
convert -size 200x200 radial-gradient:white-none -channel A -level 0,45% +channel \
    PNG32:images/spot.png
convert -size 240x180 xc:white images/mask_full.png
convert -size 240x180 xc:'#1a237e' -fill '#ffca28' -draw "rectangle 0,40 239,59" \
    -draw "rectangle 0,120 239,139" -fill '#ef5350' -draw "rectangle 100,0 139,179" \
    -fill white -font "$font" -pointsize 36 -gravity center -annotate +0+0 'Layers' \
    images/stripes.png
button btn_filter '#00796b' 'Next filter'
button btn_snap '#ad1457' 'Snapshot'

# Sounds: a click and two looping tunes (the room tune only as OGG: the game asks for
# room.mp3 and the player falls back to the OGG sibling).
sox -n -r 44100 -c 1 sounds/click.wav synth 0.06 square 1200 fade 0 0.06 0.05 vol 0.5
sox -n -r 22050 -c 2 /tmp/kq_menu.wav synth 1 sine 262 sine 330 : synth 1 sine 294 sine 349 \
    : synth 1 sine 330 sine 392 : synth 1 sine 294 sine 370 vol 0.3
sox -n -r 22050 -c 2 /tmp/kq_room.wav synth 1 triangle 196 triangle 247 : synth 1 triangle \
    220 triangle 277 : synth 2 triangle 174 triangle 220 vol 0.3
sox /tmp/kq_room.wav -C 0 sounds/room.ogg
lame --quiet -b 32 /tmp/kq_menu.wav sounds/menu.mp3
rm -f /tmp/kq_menu.wav /tmp/kq_room.wav
