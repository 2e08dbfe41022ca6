// matte: a rough surface that scatters light equally in all directions (Lambert).
//
// The colour is Os * Cs * (Ka * ambient() + Kd * diffuse(Nf)), an ambient term included; the
// opacity is the surface opacity Os.
//
// Parameters:
//   type   name   default  meaning
//   float  Ka     1        ambient coefficient
//   float  Kd     1        diffuse coefficient
//
// Example:
//   Surface "matte" "float Kd" [0.8]
surface matte(float Ka = 1; float Kd = 1) {
    normal Nf = faceforward(normalize(N), I);
    Oi = Os;
    Ci = Os * Cs * (Ka * ambient() + Kd * diffuse(Nf));
}
