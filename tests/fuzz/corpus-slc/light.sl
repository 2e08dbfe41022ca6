light lamp(float intensity = 1; color lightcolor = 1;
           point from = point "shader" (0, 0, 0); point to = point "shader" (0, 0, 1);
           float coneangle = radians(30); string __category = "key") {
    uniform vector A = normalize(to - from);
    illuminate(from, A, coneangle) {
        Cl = intensity * lightcolor * smoothstep(cos(coneangle), 1, (L . A) / length(L)) / (L . L);
    }
}
