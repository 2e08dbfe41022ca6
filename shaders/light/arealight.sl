// arealight: the emitter of an area light.
//
// Declared with a "geometry" parameter (AreaLightSource in a scene file, whose geometry is what
// follows in the same attribute block), the renderer runs it at sample points spread over that
// geometry; each point lights the hemisphere around its surface normal with an inverse-square
// fall-off, and the samples are weighted by the cosine at the emitter.
//
// Parameters:
//   type   name        default  meaning
//   float  intensity   1        brightness
//   color  lightcolor  1 1 1    colour
//
// Example:
//   AttributeBegin
//     AreaLightSource "arealight" 1 "float intensity" [10]
//     Disk 2 0.5 360
//   AttributeEnd
light arealight(float intensity = 1; color lightcolor = 1) {
    illuminate(P, N, PI / 2) {
        Cl = intensity * lightcolor / (L . L);
    }
}
