# 1 "illuminance.sl"
# 1 "lib.h" 1
color collect(normal Nf) {
    color C = 0;
    illuminance("key", P, Nf, PI / 2) { C += Cl * normalize(L) . Nf; }
    return C;
}
# 3 "illuminance.sl" 2
surface lit(float Kd = 1) {
    normal Nf = faceforward(normalize(N), I);
    Ci = Kd * collect(Nf) + calculatenormal(P) . Nf;
    Oi = 1;
}
