// occlusion: ambient occlusion, the surface lit by a uniform sky that nearby geometry blocks.
//
// The colour is Os * Cs * Kd * (1 - occlusion(P, Nf, samples)), the fraction of the
// hemisphere above the point that no surface within maxdist blocks. The occlusion is gathered
// once per region of the image and interpolated in between: maxerror bounds the error a
// cached record may have where it is reused (0 gathers at every shading point) and
// maxpixeldist how far apart, in pixels, records may be reused. The rays start the surface's
// "shadow:bias" away from it: where walls meet edge to edge, a small bias keeps the rays of
// points next to the edge from slipping through the other wall.
//
// Parameters:
//   type   name          default  meaning
//   float  Kd            1        coefficient of the unblocked sky
//   float  samples       64       rays per gathering
//   float  maxdist       1e30     surfaces farther than this do not block
//   float  maxerror      0.25     largest error of a reused record; 0 turns the cache off
//   float  maxpixeldist  20       largest distance between reused records, in pixels
//
// Example:
//   Surface "occlusion" "float samples" [256] "float maxdist" [5]
surface occlusion(float Kd = 1; float samples = 64; float maxdist = 1e30; float maxerror = 0.25;
                  float maxpixeldist = 20) {
    normal Nf = faceforward(normalize(N), I);
    float occ = occlusion(P, Nf, samples, "bias", -1, "maxhitdist", maxdist, "maxerror",
                          maxerror, "maxpixeldist", maxpixeldist);
    Oi = Os;
    Ci = Os * Cs * (Kd * (1 - occ));
}
