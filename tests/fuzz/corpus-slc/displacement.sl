displacement bumps(float Km = 0.1; float frequency = 4) {
    float a = sin(frequency * s * 2 * PI) * cos(frequency * t * 2 * PI);
    P += Km * a * normalize(N);
    N = calculatenormal(P);
}
