surface broken(float Ka) {
    Ci = Cs + P;
    float x = "string";
    u = 1;
    break 2;
    gather("illuminance", P, N, 1, 8) { Ci = 1; }
    float y = ((((1 + ;
