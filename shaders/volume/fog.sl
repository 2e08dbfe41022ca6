// fog: exponential absorption along the viewing ray toward a background colour.
//
// An atmosphere shader: at distance "distance" about 63% of the surface's colour is replaced.
//
// Parameters:
//   type   name        default  meaning
//   float  distance    1        distance over which the surface fades by a factor e
//   color  background  0 0 0    colour of the fog
//
// Example:
//   Atmosphere "fog" "float distance" [10] "color background" [0.5 0.5 0.6]
volume fog(float distance = 1; color background = 0) {
    float k = distance > 0 ? 1 - exp(-length(I) / distance) : 1;
    Ci = mix(Ci, background, k);
    Oi = mix(Oi, color 1, k);
}
