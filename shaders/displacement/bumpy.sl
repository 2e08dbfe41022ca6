// bumpy: round bumps of noise over the surface, seen through the shading normal.
//
// The surface point is lifted along the normal by noise in the shader's space and the normal
// recomputed from the lifted surface with calculatenormal; the hit point itself stays where it
// is, so the silhouette keeps its shape.
//
// Parameters:
//   type   name       default  meaning
//   float  Km         0.03     height of the bumps, in current-space units
//   float  frequency  8        bumps per unit of the shader's space, about
//
// Example:
//   Displacement "bumpy" "float Km" [0.05] "float frequency" [4]
displacement bumpy(float Km = 0.03; float frequency = 8) {
    // Noise about 0, in [-1, 1].
    float height = Km * (2 * noise(transform("shader", P) * frequency) - 1);
    N = calculatenormal(P + normalize(N) * height);
}
