// stripes: bands of a second colour across t, antialiased.
//
// Like "checker", each band's edges are averaged over the pixel's footprint, found with Du and
// Dv. On a sphere t runs from pole to pole, so the bands are its parallels.
//
// Parameters:
//   type   name           default        meaning
//   float  Ka             1              ambient coefficient
//   float  Kd             0.8            diffuse coefficient
//   float  Ks             0.4            specular coefficient
//   float  roughness      0.1            highlight size
//   color  specularcolor  1 1 1          highlight colour
//   float  frequency      10             stripes per unit of t
//   float  width          0.5            fraction of each period in the stripe colour
//   color  stripecolor    0.1 0.2 0.6    colour of the stripes; the rest is the surface colour
//
// Example:
//   Surface "stripes" "float frequency" [6] "float width" [0.3]

// How much x changes across one pixel.
float filterwidth(float x) { return abs(Du(x) * du) + abs(Dv(x) * dv); }

// How long the pulse train is on over [0, y] (negative for y < 0).
float pulseintegral(float duty, y) {
    float period = floor(y);
    return period * duty + min(y - period, duty);
}

// The fraction of [x - w/2, x + w/2] where the pulse train of period 1 is on: on over the
// first `duty` of each period. Wide filters tend to duty itself, so distant stripes turn to
// their average colour instead of aliasing.
float pulsetrain(float duty, x, w) {
    if (!(w > 1e-6))
        return x - floor(x) < duty ? 1 : 0;
    return (pulseintegral(duty, x + 0.5 * w) - pulseintegral(duty, x - 0.5 * w)) / w;
}

surface stripes(float Ka = 1; float Kd = 0.8; float Ks = 0.4; float roughness = 0.1;
                color specularcolor = 1; float frequency = 10; float width = 0.5;
                color stripecolor = color(0.1, 0.2, 0.6)) {
    float tt = t * frequency;
    float stripe = pulsetrain(width, tt, filterwidth(tt));
    color Ct = mix(Cs, stripecolor, stripe);
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Oi = Os;
    Ci = Os * (Ct * (Ka * ambient() + Kd * diffuse(Nf)) +
               specularcolor * Ks * specular(Nf, V, roughness));
}
