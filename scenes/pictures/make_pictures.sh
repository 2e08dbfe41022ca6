#!/usr/bin/env bash
# Remakes the small pictures the example scenes turn into textures (MakeTexture and
# MakeLatLongEnvironment in still_life.rib), with OpenImageIO's oiiotool:
#   checker.png  a red and cream tablecloth check, 4 by 4 squares
#   stripes.png  blue and white stripes for a ball
#   sky.png      a lat-long sky, z up: blue above a bright horizon, a warm ground, a sun
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
oiiotool --pattern checker:width=32:height=32:color1=0.75,0.1,0.08:color2=0.95,0.9,0.8 128x128 3 \
    -d uint8 -o checker.png
oiiotool --pattern checker:width=16:height=128:color1=0.1,0.25,0.7:color2=0.95,0.95,0.95 128x64 3 \
    -d uint8 -o stripes.png
oiiotool --pattern fill:top=0.25,0.45,0.9:bottom=0.9,0.93,1 256x64 3 \
    --pattern fill:top=0.55,0.5,0.42:bottom=0.25,0.22,0.18 256x64 3 \
    --mosaic 1x2 --fill:color=12,11,9 8x6+60+30 -d uint8 -o sky.png
