// depthcue: fades surfaces toward a background colour with their depth.
//
// An atmosphere shader. Depth runs from 0 at the camera's near plane to 1 at its far plane.
//
// Parameters:
//   type   name         default  meaning
//   float  mindistance  0        depth where the fade starts
//   float  maxdistance  1        depth where only the background is left
//   color  background   0 0 0    colour faded to
//
// Example:
//   Atmosphere "depthcue" "float maxdistance" [0.5] "color background" [0.2 0.2 0.3]
volume depthcue(float mindistance = 0; float maxdistance = 1; color background = 0) {
    float range = maxdistance - mindistance;
    float k = range != 0 ? (depth(P) - mindistance) / range : 1;
    k = clamp(k, 0, 1);
    Ci = mix(Ci, background, k);
    Oi = mix(Oi, color 1, k);
}
