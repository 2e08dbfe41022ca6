// shinymetal: polished metal that reflects its surroundings, tinted by the surface colour.
//
// The colour is Os * Cs * (Ka * ambient() + Ks * specular(Nf, V, roughness) + Kr * the
// environment along the mirror direction). With no texturename the reflection is traced;
// with one it is looked up in that environment map ("raytrace" or a geometry-set name traces
// too, the set restricting what is reflected). blur widens the reflection into a cone of that
// half-angle in radians, sampled by samples rays.
//
// Parameters:
//   type    name         default  meaning
//   float   Ka           1        ambient coefficient
//   float   Ks           1        specular coefficient
//   float   Kr           1        reflection coefficient
//   float   roughness    0.1      highlight size: smaller is sharper
//   string  texturename  ""       environment map; empty traces the reflection
//   float   samples      1        rays per reflection when blurred
//   float   blur         0        half-angle of the reflection cone, radians
//
// Example:
//   Surface "shinymetal" "float Kr" [0.8] "string texturename" ["sky.tx"]
surface shinymetal(float Ka = 1; float Ks = 1; float Kr = 1; float roughness = 0.1;
                   string texturename = ""; float samples = 1; float blur = 0) {
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    vector R = normalize(reflect(normalize(I), Nf));
    string name = texturename == "" ? "raytrace" : texturename;
    color reflected = 0;
    if (Kr > 0)
        reflected = color environment(name, R, "samples", samples, "blur", blur);
    Oi = Os;
    Ci = Os * Cs * (Ka * ambient() + Ks * specular(Nf, V, roughness) + Kr * reflected);
}
