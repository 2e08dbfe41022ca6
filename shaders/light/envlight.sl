// envlight: light from a sky all around, blocked where nearby geometry hides the sky.
//
// At each point lit it gathers the occlusion of the hemisphere around the surface normal and
// the mean direction in which the sky is open; Cl = intensity * lightcolor * (1 - occlusion),
// times the environment map envname seen along that direction when one is named. The light
// arrives along the normal, so diffuse() receives it whole; it adds nothing to specular() by
// default, and casts no other shadow than its occlusion. The occlusion is cached as for the
// "occlusion" surface (maxerror, maxpixeldist), its rays starting the surface's "shadow:bias"
// away from it.
//
// Parameters:
//   type    name           default  meaning
//   float   intensity      1        brightness
//   color   lightcolor     1 1 1    colour
//   string  envname        ""       environment map of the sky; empty for a uniform sky
//   float   samples        64       rays per gathering
//   float   maxdist        1e30     surfaces farther than this do not block
//   float   maxerror       0.25     largest error of a reused record; 0 turns the cache off
//   float   maxpixeldist   20       largest distance between reused records, in pixels
//   float   __nondiffuse   0        1: adds nothing to diffuse()
//   float   __nonspecular  1        1: adds nothing to specular()
//
// Example:
//   LightSource "envlight" 5 "string envname" ["sky.tx"] "float samples" [128]
light envlight(float intensity = 1; color lightcolor = 1; string envname = ""; float samples = 64;
               float maxdist = 1e30; float maxerror = 0.25; float maxpixeldist = 20;
               float __nondiffuse = 0; float __nonspecular = 1) {
    normal Ns = faceforward(normalize(N), I);
    illuminate(Ps + Ns) {
        vector open = 0;
        float occ = occlusion(Ps, Ns, samples, "bias", -1, "maxhitdist", maxdist, "maxerror",
                              maxerror, "maxpixeldist", maxpixeldist, "environmentdir", open);
        color sky = 1;
        if (envname != "" && length(open) > 0)
            sky = color environment(envname, open);
        Cl = (1 - occ) * intensity * lightcolor * sky;
    }
}
