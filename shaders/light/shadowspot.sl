// shadowspot: a spotlight whose shadows are traced.
//
// As "spotlight", with Cl scaled by 1 - shadow(shadowname, Ps): "raytrace" traces towards the
// light through every surface, a geometry-set name through the members of that set only, and
// an empty name casts no shadow. OVO makes no shadow maps; any other name traces as
// "raytrace". blur widens the shadow rays into a cone of that half-angle in radians, sampled
// by samples rays, for soft edges.
//
// Parameters:
//   type    name              default      meaning
//   float   intensity         1            brightness at distance 1
//   color   lightcolor        1 1 1        colour
//   point   from              0 0 0        apex of the cone
//   point   to                0 0 1        the cone points here
//   float   coneangle         radians(30)  half-angle of the cone in radians (0.5236)
//   float   conedeltaangle    radians(5)   width of the soft edge inside it, in radians (0.0873)
//   float   beamdistribution  2            exponent of the cosine fall-off across the beam
//   string  shadowname        ""           "raytrace", a geometry set, or empty for no shadow
//   float   samples           1            shadow rays per point when blurred
//   float   blur              0            half-angle of the shadow-ray cone, radians
//   float   __nondiffuse      0            1: adds nothing to diffuse()
//   float   __nonspecular     0            1: adds nothing to specular()
//
// Example:
//   LightSource "shadowspot" 3 "point from" [0 5 0] "point to" [0 0 0] "string shadowname"
//   ["raytrace"]
light shadowspot(float intensity = 1; color lightcolor = 1;
                 point from = point "shader" (0, 0, 0); point to = point "shader" (0, 0, 1);
                 float coneangle = radians(30); float conedeltaangle = radians(5);
                 float beamdistribution = 2; string shadowname = ""; float samples = 1;
                 float blur = 0; float __nondiffuse = 0; float __nonspecular = 0) {
    uniform vector A = normalize(to - from);
    illuminate(from, A, coneangle) {
        float len2 = L . L;
        float cosangle = (L . A) / sqrt(len2);
        float atten = pow(max(cosangle, 0), beamdistribution) / len2;
        atten *= smoothstep(cos(coneangle), cos(coneangle - conedeltaangle), cosangle);
        // No light, no shadow to trace.
        if (atten > 0)
            atten *= 1 - shadow(shadowname, Ps, "samples", samples, "blur", blur);
        Cl = atten * intensity * lightcolor;
    }
}
