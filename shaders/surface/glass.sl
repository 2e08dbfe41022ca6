// glass: a clear, refracting surface that reflects more at grazing angles.
//
// Light is split between a traced reflection and a traced refraction by Schlick's
// approximation of the Fresnel reflectance for the index of refraction eta (the ray leaving
// the glass sees 1/eta; past the critical angle everything is reflected). The colour is
// Os * Cs * Ka * ambient() + specularcolor * Ks * specular(Nf, V, roughness) + Kr * kr *
// trace(P, R) + Kt * kt * transmitcolor * trace(P, T); the surface counts as opaque, since
// what lies behind it arrives through the refracted ray.
//
// Parameters:
//   type   name           default  meaning
//   float  Ka             0        ambient coefficient
//   float  Ks             0.5      specular coefficient
//   float  Kr             1        reflection coefficient
//   float  Kt             1        transmission coefficient
//   float  roughness      0.05     highlight size: smaller is sharper
//   float  eta            1.5      index of refraction
//   color  specularcolor  1 1 1    highlight colour
//   color  transmitcolor  1 1 1    tint of the light passing through
//   float  samples        1        rays per direction when blurred
//   float  blur           0        half-angle of the reflection and refraction cones, radians
//
// Example:
//   Surface "glass" "float eta" [1.5] "color transmitcolor" [0.9 1 0.95]

// Schlick's approximation of the Fresnel reflectance: F0 = ((eta-1)/(eta+1))^2 at normal
// incidence, rising to 1 at grazing incidence; cosine is that of the angle to the normal.
float schlick(float cosine, eta) {
    float r = (eta - 1) / (eta + 1);
    float f0 = r * r;
    float m = max(0, 1 - cosine);
    return f0 + (1 - f0) * m * m * m * m * m;
}

surface glass(float Ka = 0; float Ks = 0.5; float Kr = 1; float Kt = 1; float roughness = 0.05;
              float eta = 1.5; color specularcolor = 1; color transmitcolor = 1;
              float samples = 1; float blur = 0) {
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    vector In = normalize(I);
    // Entering when the ray meets the outside of the surface.
    float ratio = eta;
    if (I . N < 0)
        ratio = 1 / eta;
    vector T = refract(In, Nf, ratio);  // zero past the critical angle
    if (length(T) > 0)
        T = normalize(T);
    vector R = normalize(reflect(In, Nf));
    float cosine = abs(In . Nf);
    // Past the critical angle everything is reflected; leaving into the lighter side, Schlick
    // takes the angle inside the denser medium.
    float kr = 1;
    if (length(T) > 0)
        kr = schlick(I . N < 0 ? cosine : abs(T . Nf), eta);
    float kt = 1 - kr;
    color reflected = 0, refracted = 0;
    if (Kr * kr > 0)
        reflected = trace(P, R, "samples", samples, "samplecone", blur);
    if (Kt * kt > 0)
        refracted = trace(P, T, "samples", samples, "samplecone", blur);
    // Opaque: what lies behind arrives through the refracted ray.
    Oi = 1;
    Ci = Os * Cs * Ka * ambient() + specularcolor * Ks * specular(Nf, V, roughness) +
         Kr * kr * reflected + Kt * kt * transmitcolor * refracted;
}
