// glaze: a clear, glossy coat over the layers beneath it in a shader group.
//
// It adds a sharp highlight to the colour the earlier layers left, weighted by a float it reads
// from them by name with surface(): a pattern layer can say where the glaze lies. Without such
// a value the whole surface is glazed.
//
// Parameters:
//   type    name        default   meaning
//   float   Kg          0.8       strength of the glaze's highlight
//   float   roughness   0.04      highlight size
//   color   glazecolor  1 1 1     colour of the highlight
//   string  weight      "glazed"  the float of an earlier layer that weights the glaze
//
// Example:
//   ShaderLayer "surface" "cells" "pattern"
//   ShaderLayer "surface" "plastic" "paint"
//   ShaderLayer "surface" "glaze" "coat" "string weight" ["glazed"]
surface glaze(float Kg = 0.8; float roughness = 0.04; color glazecolor = 1;
              string weight = "glazed") {
    float w = 1;
    surface(weight, w);
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Ci += Os * glazecolor * (w * Kg) * specular(Nf, V, roughness);
}
