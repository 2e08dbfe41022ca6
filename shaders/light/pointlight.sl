// pointlight: light radiating from one point in all directions.
//
// It falls off with the square of the distance; "from" is in the space where the light is declared.
//
// Parameters:
//   type   name           default  meaning
//   float  intensity      1        brightness at distance 1
//   color  lightcolor     1 1 1    colour
//   point  from           0 0 0    position
//   float  __nondiffuse   0        1: adds nothing to diffuse()
//   float  __nonspecular  0        1: adds nothing to specular()
//
// Example:
//   LightSource "pointlight" 2 "point from" [1 4 -2] "float intensity" [20]
light pointlight(float intensity = 1; color lightcolor = 1;
                 point from = point "shader" (0, 0, 0); float __nondiffuse = 0;
                 float __nonspecular = 0) {
    illuminate(from) {
        Cl = intensity * lightcolor / (L . L);
    }
}
