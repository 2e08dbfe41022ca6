// granite: a speckled stone of dark, pink and pale crystals in a mottled ground.
//
// Cell noise scatters one seed point in every cell of a fine lattice in the shader's space; each
// crystal is the region nearest to one seed, and cell noise over the seed's cell picks its
// kind. Turbulence mottles the whole. Lit as "plastic" with a dull sheen.
//
// Parameters:
//   type   name           default         meaning
//   float  Ka             1               ambient coefficient
//   float  Kd             0.8             diffuse coefficient
//   float  Ks             0.2             specular coefficient
//   float  roughness      0.15            highlight size
//   color  specularcolor  1 1 1           highlight colour
//   float  frequency      12              crystals per unit of the shader's space
//   color  darkcolor      0.1 0.1 0.11    the dark crystals
//   color  pinkcolor      0.78 0.6 0.55   the pink crystals
//   color  palecolor      0.85 0.85 0.82  the pale crystals
//
// Example:
//   Surface "granite" "float frequency" [20]

// Noise at `octaves` doubling frequencies with halving amplitudes, summed in magnitude: noise
// about 0 creases where it crosses 0.
float turbulence(point p; float octaves) {
    float sum = 0, scale = 1, i;
    for (i = 0; i < octaves; i += 1) {
        sum += abs(2 * noise(p * scale) - 1) / scale;
        scale *= 2;
    }
    return sum;
}

// The lattice cell whose seed point (cell noise of the cell, inside it) lies nearest to p. The
// 27 cells around p hold it unless it is more than 1 away (p's own seed may be up to sqrt 3
// away): then the next shell may hold a nearer one, and no cell beyond, whose points are all 2
// or more away.
point nearestseedcell(point p) {
    point base = point(floor(xcomp(p)), floor(ycomp(p)), floor(zcomp(p)));
    point best = base;
    float nearest = 1e30, reach, i, j, k;
    for (reach = 1; reach <= 2 && (reach == 1 || nearest > 1); reach += 1)
        for (i = -reach; i <= reach; i += 1)
            for (j = -reach; j <= reach; j += 1)
                for (k = -reach; k <= reach; k += 1) {
                    point cell = base + vector(i, j, k);
                    vector d = cell + vector cellnoise(cell) - p;
                    float d2 = d . d;
                    if (d2 < nearest) {
                        nearest = d2;
                        best = cell;
                    }
                }
    return best;
}

surface granite(float Ka = 1; float Kd = 0.8; float Ks = 0.2; float roughness = 0.15;
                color specularcolor = 1; float frequency = 12;
                color darkcolor = color(0.1, 0.1, 0.11); color pinkcolor = color(0.78, 0.6, 0.55);
                color palecolor = color(0.85, 0.85, 0.82)) {
    point PP = transform("shader", P) * frequency;
    color kind = color cellnoise(nearestseedcell(PP));
    color crystal = comp(kind, 0) < 0.3 ? darkcolor : (comp(kind, 0) < 0.55 ? pinkcolor : palecolor);
    // Each crystal a little lighter or darker, and the ground mottled.
    float shade = 0.8 + 0.4 * comp(kind, 1);
    float mottle = 0.75 + 0.5 * turbulence(PP * 0.25, 4);
    color Ct = crystal * (shade * mottle);
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Oi = Os;
    Ci = Os * (Ct * (Ka * ambient() + Kd * diffuse(Nf)) +
               specularcolor * Ks * specular(Nf, V, roughness));
}
