// mirror: a surface that reflects what is around it, traced.
//
// The colour is Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf)) + specularcolor * (Ks *
// specular(Nf, V, roughness) + Kr * trace(P, R))), R the mirror direction; blur spreads the
// reflection over a cone of that half-angle in radians, sampled by samples rays.
//
// Parameters:
//   type   name           default  meaning
//   float  Ka             0        ambient coefficient
//   float  Kd             0        diffuse coefficient
//   float  Ks             1        specular coefficient
//   float  Kr             1        reflection coefficient
//   float  roughness      0.05     highlight size: smaller is sharper
//   color  specularcolor  1 1 1    colour of highlights and reflections
//   float  samples        1        rays per reflection when blurred
//   float  blur           0        half-angle of the reflection cone, radians
//
// Example:
//   Surface "mirror" "float Kr" [0.9]
surface mirror(float Ka = 0; float Kd = 0; float Ks = 1; float Kr = 1; float roughness = 0.05;
               color specularcolor = 1; float samples = 1; float blur = 0) {
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    vector R = normalize(reflect(normalize(I), Nf));
    color reflected = 0;
    if (Kr > 0)
        reflected = trace(P, R, "samples", samples, "samplecone", blur);
    Oi = Os;
    Ci = Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf)) +
               specularcolor * (Ks * specular(Nf, V, roughness) + Kr * reflected));
}
