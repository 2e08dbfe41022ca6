// ambientlight: light that arrives equally from everywhere and only feeds ambient().
//
// Surfaces see it only through their ambient() term; it casts no shadows.
//
// Parameters:
//   type   name        default  meaning
//   float  intensity   1        brightness
//   color  lightcolor  1 1 1    colour
//
// Example:
//   LightSource "ambientlight" 1 "float intensity" [0.1]
light ambientlight(float intensity = 1; color lightcolor = 1) {
    Cl = intensity * lightcolor;
}
