volume haze(float distance = 1; color background = 0) {
    float k = 1 - exp(-length(I) / distance);
    Ci = mix(Ci, background, k);
    Oi = mix(Oi, color 1, k);
}
