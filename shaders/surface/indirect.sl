// indirect: a diffuse surface lit by the lights and by a bounce of light from its surroundings.
//
// The colour is Os * Cs * (Ka * ambient() + Kd * (diffuse(Nf) + indirectdiffuse(P, Nf,
// samples))): the light other surfaces send towards the point, gathered over the hemisphere
// once per region of the image and interpolated in between (maxerror and maxpixeldist as for
// "occlusion"). Surfaces seen by the gathering rays are shaded without their own indirect
// light ("ray:maxdiffusedepth" bounces, 1 by default). The rays start the surface's
// "shadow:bias" away from it.
//
// Parameters:
//   type   name          default  meaning
//   float  Ka            1        ambient coefficient
//   float  Kd            1        diffuse coefficient
//   float  samples       64       rays per gathering
//   float  maxdist       1e30     surfaces farther than this send nothing
//   float  maxerror      0.25     largest error of a reused record; 0 turns the cache off
//   float  maxpixeldist  20       largest distance between reused records, in pixels
//
// Example:
//   Surface "indirect" "float samples" [256]
surface indirect(float Ka = 1; float Kd = 1; float samples = 64; float maxdist = 1e30;
                 float maxerror = 0.25; float maxpixeldist = 20) {
    normal Nf = faceforward(normalize(N), I);
    color bounce = indirectdiffuse(P, Nf, samples, "bias", -1, "maxhitdist", maxdist, "maxerror",
                                   maxerror, "maxpixeldist", maxpixeldist);
    Oi = Os;
    Ci = Os * Cs * (Ka * ambient() + Kd * (diffuse(Nf) + bounce));
}
