// texmap: a matte surface whose colour is a texture map.
//
// The colour is Os * Cs * texture(texturename, s, t) * (Ka * ambient() + Kd * diffuse(Nf)):
// the map is filtered over the area each pixel covers in (s, t), so a MIP-mapped texture
// (MakeTexture) stays sharp up close and smooth far away. swrap and twrap say what lies
// outside 0..1 ("periodic", "clamp", "black", "mirror"; "default" keeps the file's own).
//
// Parameters:
//   type    name         default    meaning
//   string  texturename  ""         the texture; empty gives Cs alone
//   float   Ka           1          ambient coefficient
//   float   Kd           1          diffuse coefficient
//   string  swrap        "default"  wrap mode across s
//   string  twrap        "default"  wrap mode across t
//
// Example:
//   Surface "texmap" "string texturename" ["wood.tx"]
surface texmap(string texturename = ""; float Ka = 1; float Kd = 1; string swrap = "default";
               string twrap = "default") {
    color Ct = Cs;
    if (texturename != "")
        Ct *= color texture(texturename, s, t, "swrap", swrap, "twrap", twrap);
    normal Nf = faceforward(normalize(N), I);
    Oi = Os;
    Ci = Os * Ct * (Ka * ambient() + Kd * diffuse(Nf));
}
