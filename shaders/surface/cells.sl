// cells: a pattern layer of coloured tiles set in grout, for shader groups.
//
// The surface is tiled in s and t; each tile takes the surface colour mixed with a colour cell
// noise picks for it, and the grout runs between the tiles. The colour is left in
// the output "Ct" and the tile coverage (1 on a tile, 0 in the grout) in "glazed", for later
// layers to take through ConnectShaders or read with surface(). Alone it shows the colour
// unlit.
//
// Parameters:
//   type   name        default        meaning
//   float  frequency   8              tiles per unit of s and of t
//   float  groutwidth  0.1            width of the grout, as a fraction of a tile
//   float  variation   0.6            how far each tile's colour strays from the surface colour
//   color  groutcolor  0.25 0.24 0.22 colour of the grout
//   color  Ct          0 0 0          output: the pattern's colour
//   float  glazed      0              output: 1 on a tile, 0 in the grout
//
// Example:
//   ShaderLayer "surface" "cells" "pattern" "float frequency" [12]
//   ShaderLayer "surface" "plastic" "paint"
//   ConnectShaderLayers "surface" "pattern" "Ct" "paint" "Cs"

// 0 within `half` of a whole number, 1 further in, with a soft edge.
float awayfromedge(float x, half) {
    float f = x - floor(x);
    float d = min(f, 1 - f);
    return smoothstep(half * 0.7, half, d);
}

surface cells(float frequency = 8; float groutwidth = 0.1; float variation = 0.6;
              color groutcolor = color(0.25, 0.24, 0.22); output varying color Ct = 0;
              output varying float glazed = 0) {
    float ss = s * frequency, tt = t * frequency;
    color tile = mix(Cs, color cellnoise(ss, tt), variation);
    float half = 0.5 * groutwidth;
    glazed = awayfromedge(ss, half) * awayfromedge(tt, half);
    Ct = mix(groutcolor, tile, glazed);
    Oi = Os;
    Ci = Os * Ct;
}
