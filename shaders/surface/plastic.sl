// plastic: a diffuse base coloured by Cs under a white (or tinted) glossy highlight.
//
// The colour is Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf)) + specularcolor * Ks * specular(Nf,
// V, roughness)), the opacity Os.
//
// Parameters:
//   type   name           default  meaning
//   float  Ka             1        ambient coefficient
//   float  Kd             0.5      diffuse coefficient
//   float  Ks             0.5      specular coefficient
//   float  roughness      0.1      highlight size: smaller is sharper
//   color  specularcolor  1 1 1    highlight colour
//
// Example:
//   Surface "plastic" "float roughness" [0.05] "color specularcolor" [1 1 1]
surface plastic(float Ka = 1; float Kd = 0.5; float Ks = 0.5; float roughness = 0.1;
                color specularcolor = 1) {
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Oi = Os;
    Ci = Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf)) +
               specularcolor * Ks * specular(Nf, V, roughness));
}
