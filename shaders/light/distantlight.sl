// distantlight: parallel light, as from the sun, shining from "from" toward "to".
//
// Both points are in the space where the light is declared; the strength of the light does not fall
// off.
//
// Parameters:
//   type   name           default  meaning
//   float  intensity      1        brightness
//   color  lightcolor     1 1 1    colour
//   point  from           0 0 0    where the light comes from
//   point  to             0 0 1    where it shines to
//   float  __nondiffuse   0        1: adds nothing to diffuse()
//   float  __nonspecular  0        1: adds nothing to specular()
//
// Example:
//   LightSource "distantlight" 1 "point from" [0 10 0] "point to" [0 0 0]
light distantlight(float intensity = 1; color lightcolor = 1;
                   point from = point "shader" (0, 0, 0); point to = point "shader" (0, 0, 1);
                   float __nondiffuse = 0; float __nonspecular = 0) {
    solar(to - from, 0) {
        Cl = intensity * lightcolor;
    }
}
