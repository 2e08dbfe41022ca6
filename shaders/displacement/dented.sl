// dented: a surface knocked about, with sharp-edged dents of every size.
//
// Turbulence in the shader's space, cubed so that most of the surface stays smooth, pushes the
// surface in along the normal; calculatenormal gives the dented normal. The hit point itself
// stays where it is.
//
// Parameters:
//   type   name       default  meaning
//   float  Km         0.6      depth of the dents, in current-space units per unit of the cubed
//                              turbulence
//   float  frequency  2        scale of the largest dents in the shader's space
//
// Example:
//   Displacement "dented" "float Km" [1]

// Noise at `octaves` doubling frequencies with halving amplitudes, summed in magnitude: noise
// about 0 creases where it crosses 0.
float turbulence(point p; float octaves) {
    float sum = 0, scale = 1, i;
    for (i = 0; i < octaves; i += 1) {
        sum += abs(2 * noise(p * scale) - 1) / scale;
        scale *= 2;
    }
    return sum;
}

displacement dented(float Km = 0.6; float frequency = 2) {
    float turb = turbulence(transform("shader", P) * frequency, 6);
    N = calculatenormal(P - normalize(N) * (Km * turb * turb * turb));
}
