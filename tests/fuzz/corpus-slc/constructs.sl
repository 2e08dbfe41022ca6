float addTo(float x; output float acc) { acc += x; return acc * 2; }
surface constructs(float arr[3] = {1, 2, 3}; output varying float r = 0; string map = "";
                   matrix m = 1; point from = point "shader" (0, 0, 0)) {
    float i, j;
    for (i = 0; i < 3; i += 1)
        for (j = 0; j < 3; j += 1) {
            if (j == 1) continue 2;
            if (i == 2) break 2;
            r += arr[i] * 2;
        }
    while (r > 10) r -= 1;
    float acc = 1;
    r += addTo(2, acc) + (u > 0.5 ? 1 : 0);
    void add(float x) { extern float r; r += x; }
    add(vector(1, 2, 3) . (vector(0, 1, 0) ^ vector(1, 0, 0)));
    color c = mix(color(1, 0, 0), color "rgb" (0, 0, 1), s);
    c += trace(P, reflect(I, N), "samples", 4) * Du(u) + filterstep(0.5, t);
    Ci = c * (ambient() + diffuse(N) + specular(N, -I, 0.1)) + r;
    Oi = Os;
}
