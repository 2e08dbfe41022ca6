// marble: veins of a darker stone running through a pale one, in the shader's space.
//
// A sine wave along x is bent by turbulence and looked up in a colour spline that holds the
// vein in a narrow part of each period. Lit as "plastic", polished.
//
// Parameters:
//   type   name           default          meaning
//   float  Ka             1                ambient coefficient
//   float  Kd             0.7              diffuse coefficient
//   float  Ks             0.5              specular coefficient
//   float  roughness      0.05             highlight size
//   color  specularcolor  1 1 1            highlight colour
//   float  frequency      1                scale of the pattern in the shader's space
//   float  veinturbulence 2.5               how far the turbulence bends the veins
//   color  basecolor      0.9 0.88 0.84    the stone
//   color  veincolor      0.2 0.22 0.3     the veins
//
// Example:
//   Surface "marble" "float frequency" [2] "color veincolor" [0.4 0.1 0.1]

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

surface marble(float Ka = 1; float Kd = 0.7; float Ks = 0.5; float roughness = 0.05;
               color specularcolor = 1; float frequency = 1; float veinturbulence = 2.5;
               color basecolor = color(0.9, 0.88, 0.84); color veincolor = color(0.2, 0.22, 0.3)) {
    point PP = transform("shader", P) * frequency;
    float wave = sin((xcomp(PP) + veinturbulence * turbulence(PP, 6)) * PI);
    float x = 0.5 + 0.5 * wave;
    // The spline keeps the stone over most of the period and the vein near its end.
    color m = mix(basecolor, veincolor, 0.35);
    color Ct = spline("catmull-rom", x, basecolor, basecolor, basecolor, basecolor, m, veincolor,
                      m, basecolor, basecolor);
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Oi = Os;
    Ci = Os * (Ct * (Ka * ambient() + Kd * diffuse(Nf)) +
               specularcolor * Ks * specular(Nf, V, roughness));
}
