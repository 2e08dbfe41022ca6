// checker: a checkerboard in s and t, antialiased.
//
// Each direction's square wave is averaged over the pixel's footprint, its width found with Du
// and Dv (so the shader runs in the derivative passes too): far away the board fades to the
// average of its two colours instead of breaking into moire. The white squares take the
// surface colour.
//
// Parameters:
//   type   name           default  meaning
//   float  Ka             1        ambient coefficient
//   float  Kd             0.8      diffuse coefficient
//   float  Ks             0.2      specular coefficient
//   float  roughness      0.1      highlight size
//   color  specularcolor  1 1 1    highlight colour
//   float  frequency      4        pairs of squares, one of each colour, per unit of s and t
//   color  blackcolor     0 0 0    colour of the other squares
//
// Example:
//   Surface "checker" "float frequency" [8] "color blackcolor" [0.1 0.1 0.3]

// How much x changes across one pixel.
float filterwidth(float x) { return abs(Du(x) * du) + abs(Dv(x) * dv); }

// How long the pulse train is on over [0, y] (negative for y < 0).
float pulseintegral(float duty, y) {
    float period = floor(y);
    return period * duty + min(y - period, duty);
}

// The fraction of [x - w/2, x + w/2] where the pulse train of period 1 is on: on over the
// first `duty` of each period. Wide filters tend to duty itself, so distant squares turn to
// their average colour instead of aliasing.
float pulsetrain(float duty, x, w) {
    if (!(w > 1e-6))
        return x - floor(x) < duty ? 1 : 0;
    return (pulseintegral(duty, x + 0.5 * w) - pulseintegral(duty, x - 0.5 * w)) / w;
}

surface checker(float Ka = 1; float Kd = 0.8; float Ks = 0.2; float roughness = 0.1;
                color specularcolor = 1; float frequency = 4; color blackcolor = 0) {
    float ss = s * frequency, tt = t * frequency;
    float ws = filterwidth(ss), wt = filterwidth(tt);
    // The fraction of the footprint on the first half of each period, per direction; the
    // square is black where exactly one of the two is.
    float fs = pulsetrain(0.5, ss, ws);
    float ft = pulsetrain(0.5, tt, wt);
    float black = fs * (1 - ft) + ft * (1 - fs);
    color Ct = mix(Cs, blackcolor, black);
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Oi = Os;
    Ci = Os * (Ct * (Ka * ambient() + Kd * diffuse(Nf)) +
               specularcolor * Ks * specular(Nf, V, roughness));
}
