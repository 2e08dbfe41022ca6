// shadowpoint: a point light whose shadows are traced.
//
// As "pointlight", with Cl scaled by 1 - shadow(shadowname, Ps): "raytrace" traces towards the
// light through every surface, a geometry-set name through the members of that set only, and
// an empty name casts no shadow. OVO makes no shadow maps; any other name traces as
// "raytrace". blur widens the shadow rays into a cone of that half-angle in radians, sampled
// by samples rays, for soft edges.
//
// Parameters:
//   type    name           default  meaning
//   float   intensity      1        brightness at distance 1
//   color   lightcolor     1 1 1    colour
//   point   from           0 0 0    position
//   string  shadowname     ""       "raytrace", a geometry set, or empty for no shadow
//   float   samples        1        shadow rays per point when blurred
//   float   blur           0        half-angle of the shadow-ray cone, radians
//   float   __nondiffuse   0        1: adds nothing to diffuse()
//   float   __nonspecular  0        1: adds nothing to specular()
//
// Example:
//   LightSource "shadowpoint" 2 "point from" [1 4 -2] "string shadowname" ["raytrace"]
light shadowpoint(float intensity = 1; color lightcolor = 1; point from = point "shader" (0, 0, 0);
                  string shadowname = ""; float samples = 1; float blur = 0;
                  float __nondiffuse = 0; float __nonspecular = 0) {
    illuminate(from) {
        float blocked = shadow(shadowname, Ps, "samples", samples, "blur", blur);
        Cl = (1 - blocked) * intensity * lightcolor / (L . L);
    }
}
