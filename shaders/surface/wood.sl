// wood: growth rings around the z axis of the shader's space, with a fine grain along it.
//
// The rings are warped by noise so that no two are quite round, each shading from light
// early wood to a dark band of late wood; the grain streaks run along z. Lit as "plastic".
//
// Parameters:
//   type   name           default         meaning
//   float  Ka             1               ambient coefficient
//   float  Kd             0.75            diffuse coefficient
//   float  Ks             0.15            specular coefficient
//   float  roughness      0.1             highlight size
//   color  specularcolor  1 1 1           highlight colour
//   float  ringscale      10              rings per unit of distance from the axis
//   float  grainy         1               strength of the grain, 0 for none
//   color  lightwood      0.7 0.45 0.25   colour of the early wood
//   color  darkwood       0.35 0.2 0.08   colour of the late wood
//
// Example:
//   Surface "wood" "float ringscale" [14] "color darkwood" [0.3 0.15 0.05]

// Noise about 0, in [-1, 1].
float snoise(point p) { return 2 * noise(p) - 1; }

surface wood(float Ka = 1; float Kd = 0.75; float Ks = 0.15; float roughness = 0.1;
             color specularcolor = 1; float ringscale = 10; float grainy = 1;
             color lightwood = color(0.7, 0.45, 0.25); color darkwood = color(0.35, 0.2, 0.08)) {
    point PP = transform("shader", P);
    // The trunk wanders a little, and each ring's radius wobbles along it: three noises
    // decorrelated by offsets warp the point.
    point W = PP * 0.8;
    vector warp = vector(snoise(W), snoise(W + vector(31.4, -17.7, 5.3)),
                         snoise(W + vector(-11.9, 23.1, -41.2)));
    point PQ = PP + warp * 0.12;
    float r = sqrt(xcomp(PQ) * xcomp(PQ) + ycomp(PQ) * ycomp(PQ)) * ringscale;
    r += 0.4 * snoise(PQ * 3);
    float ring = r - floor(r);
    // Early wood lightens slowly across the ring; the late-wood band ends it sharply.
    float late = smoothstep(0.55, 0.85, ring) * (1 - smoothstep(0.9, 1, ring));
    float grain = snoise(point(xcomp(PP) * 60, ycomp(PP) * 60, zcomp(PP) * 3));
    float dark = clamp(late + grainy * 0.25 * grain, 0, 1);
    color Ct = mix(lightwood, darkwood, dark);
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Oi = Os;
    Ci = Os * (Ct * (Ka * ambient() + Kd * diffuse(Nf)) +
               specularcolor * Ks * specular(Nf, V, roughness));
}
