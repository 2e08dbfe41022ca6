// defaultsurface: lights the surface from the eye, needing no light source.
//
// The colour is Os * Cs * (Ka + Kd * d * d) with d = normalize(I) . normalize(N), the opacity
// Os: a surface facing the eye is lit fully and darkens towards its silhouette.
//
// Parameters:
//   type   name   default  meaning
//   float  Ka     0.2      ambient term
//   float  Kd     0.8      facing term
//
// Example:
//   Surface "defaultsurface" "float Kd" [0.6]
surface defaultsurface(float Ka = 0.2; float Kd = 0.8) {
    float d = normalize(I) . normalize(N);
    Oi = Os;
    Ci = Os * Cs * (Ka + Kd * d * d);
}
