// metal: a glossy surface whose highlights take the surface colour.
//
// The colour is Os * Cs * (Ka * ambient() + Ks * specular(Nf, V, roughness)), the opacity Os.
//
// Parameters:
//   type   name       default  meaning
//   float  Ka         1        ambient coefficient
//   float  Ks         1        specular coefficient
//   float  roughness  0.1      highlight size: smaller is sharper
//
// Example:
//   Surface "metal" "float roughness" [0.2]
surface metal(float Ka = 1; float Ks = 1; float roughness = 0.1) {
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Oi = Os;
    Ci = Os * Cs * (Ka * ambient() + Ks * specular(Nf, V, roughness));
}
