// spotlight: a point light restricted to a cone from "from" toward "to".
//
// The cone's edge is softened over conedeltaangle and its beam falls off toward the edge, as the
// cosine to the axis raised to beamdistribution; the light also falls off with the square of the
// distance. Both points are in the space where the light is declared.
//
// Parameters:
//   type   name              default      meaning
//   float  intensity         1            brightness at distance 1
//   color  lightcolor        1 1 1        colour
//   point  from              0 0 0        apex of the cone
//   point  to                0 0 1        the cone points here
//   float  coneangle         radians(30)  half-angle of the cone in radians (0.5236)
//   float  conedeltaangle    radians(5)   width of the soft edge inside it, in radians (0.0873)
//   float  beamdistribution  2            exponent of the cosine fall-off across the beam
//   float  __nondiffuse      0            1: adds nothing to diffuse()
//   float  __nonspecular     0            1: adds nothing to specular()
//
// Example:
//   LightSource "spotlight" 3 "point from" [0 5 0] "point to" [0 0 0] "float coneangle" [0.3]
light spotlight(float intensity = 1; color lightcolor = 1;
                point from = point "shader" (0, 0, 0); point to = point "shader" (0, 0, 1);
                float coneangle = radians(30); float conedeltaangle = radians(5);
                float beamdistribution = 2; float __nondiffuse = 0; float __nonspecular = 0) {
    uniform vector A = normalize(to - from);
    illuminate(from, A, coneangle) {
        float len2 = L . L;
        float cosangle = (L . A) / sqrt(len2);
        float atten = pow(max(cosangle, 0), beamdistribution) / len2;
        atten *= smoothstep(cos(coneangle), cos(coneangle - conedeltaangle), cosangle);
        Cl = atten * intensity * lightcolor;
    }
}
