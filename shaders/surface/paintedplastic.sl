// paintedplastic: "plastic" whose diffuse colour is Cs times a texture map looked up at (s, t).
//
// The map is filtered over the area each pixel covers in (s, t); the highlight keeps its own
// colour.
//
// Parameters:
//   type    name           default  meaning
//   float   Ka             1        ambient coefficient
//   float   Kd             0.5      diffuse coefficient
//   float   Ks             0.5      specular coefficient
//   float   roughness      0.1      highlight size: smaller is sharper
//   color   specularcolor  1 1 1    highlight colour
//   string  texturename    ""       the texture; empty means none (the colour is Cs alone)
//
// Example:
//   Surface "paintedplastic" "string texturename" ["grid.tx"]
surface paintedplastic(float Ka = 1; float Kd = 0.5; float Ks = 0.5; float roughness = 0.1;
                       color specularcolor = 1; string texturename = "") {
    color Ct = Cs;
    if (texturename != "")
        Ct *= color texture(texturename, s, t);
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Oi = Os;
    Ci = Os * (Ct * (Ka * ambient() + Kd * diffuse(Nf)) +
               specularcolor * Ks * specular(Nf, V, roughness));
}
