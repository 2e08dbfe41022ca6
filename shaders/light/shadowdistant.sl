// shadowdistant: parallel light, as from the sun, whose shadows are traced.
//
// As "distantlight", with Cl scaled by 1 - shadow(shadowname, Ps): "raytrace" traces towards
// the light through every surface, a geometry-set name through the members of that set only,
// and an empty name casts no shadow. OVO makes no shadow maps; any other name traces as
// "raytrace". blur widens the shadow rays into a cone of that half-angle in radians (the sun's
// size), sampled by samples rays.
//
// Parameters:
//   type    name           default  meaning
//   float   intensity      1        brightness
//   color   lightcolor     1 1 1    colour
//   point   from           0 0 0    where the light comes from
//   point   to             0 0 1    where it shines to
//   string  shadowname     ""       "raytrace", a geometry set, or empty for no shadow
//   float   samples        1        shadow rays per point when blurred
//   float   blur           0        half-angle of the shadow-ray cone, radians
//   float   __nondiffuse   0        1: adds nothing to diffuse()
//   float   __nonspecular  0        1: adds nothing to specular()
//
// Example:
//   LightSource "shadowdistant" 1 "point from" [0 10 0] "string shadowname" ["raytrace"]
light shadowdistant(float intensity = 1; color lightcolor = 1;
                    point from = point "shader" (0, 0, 0); point to = point "shader" (0, 0, 1);
                    string shadowname = ""; float samples = 1; float blur = 0;
                    float __nondiffuse = 0; float __nonspecular = 0) {
    solar(to - from, 0) {
        float blocked = shadow(shadowname, Ps, "samples", samples, "blur", blur);
        Cl = (1 - blocked) * intensity * lightcolor;
    }
}
