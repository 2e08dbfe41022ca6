// brick: a wall of bricks in running bond, laid out in s and t.
//
// Every other course is shifted by half a brick. Each brick's colour varies by cell noise over
// the brick's row and column and is mottled by noise; the edges of the mortar joints are
// softened so that they do not stair-step.
//
// Parameters:
//   type   name          default          meaning
//   float  Ka            1                ambient coefficient
//   float  Kd            0.9              diffuse coefficient
//   float  Ks            0.05             specular coefficient
//   float  roughness     0.2              highlight size
//   color  specularcolor 1 1 1            highlight colour
//   float  brickwidth    0.25             width of a brick with its joint, in s
//   float  brickheight   0.08             height of a course with its joint, in t
//   float  mortarwidth   0.01             thickness of a joint, in s and t
//   color  brickcolor    0.6 0.2 0.1      average colour of a brick
//   color  mortarcolor   0.6 0.58 0.54    colour of the mortar
//
// Example:
//   Surface "brick" "float brickwidth" [0.2] "float brickheight" [0.07]

// 1 inside a brick, 0 in the joint at either end of [0, 1); the edges soften over a band 60% of
// the joint wide, centred on them.
float insidejoints(float x, joint) {
    float half = 0.5 * joint, fuzz = 0.3 * half;
    return smoothstep(half - fuzz, half + fuzz, x) *
           (1 - smoothstep(1 - half - fuzz, 1 - half + fuzz, x));
}

surface brick(float Ka = 1; float Kd = 0.9; float Ks = 0.05; float roughness = 0.2;
              color specularcolor = 1; float brickwidth = 0.25; float brickheight = 0.08;
              float mortarwidth = 0.01; color brickcolor = color(0.6, 0.2, 0.1);
              color mortarcolor = color(0.6, 0.58, 0.54)) {
    float ss = s / brickwidth, tt = t / brickheight;
    float row = floor(tt);
    if (mod(abs(row), 2) == 1)
        ss += 0.5;  // running bond
    float column = floor(ss);
    ss -= column;
    tt -= row;
    float inS = insidejoints(ss, mortarwidth / brickwidth);
    float inT = insidejoints(tt, mortarwidth / brickheight);
    float inside = inS * inT;
    // Bricks from one batch but not one firing, and none of them quite even.
    float firing = float cellnoise(column, row);
    float grit = 2 * noise(s * 60, t * 60) - 1;
    color Cb = brickcolor * (0.7 + 0.6 * firing + 0.15 * grit);
    color Ct = mix(mortarcolor, Cb, inside);
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Oi = Os;
    Ci = Os * (Ct * (Ka * ambient() + Kd * diffuse(Nf)) +
               specularcolor * Ks * specular(Nf, V, roughness));
}
