// Three spheres, the POV-Ray twin of three_spheres.rib (scripts/bench.sh renders both).
// Linear light like OVO: render with File_Gamma=1.0. Render options come from the script:
// +W640 +H480 +AM1 +A0.0 +R4: threshold 0 supersamples every pixel with a jittered 4x4 grid, the
// 16 samples per pixel of the .rib's PixelSamples 4 4.
#version 3.7;
global_settings { assumed_gamma 1.0 ambient_light 1 max_trace_level 5 }

// RenderMan's fov 40 spans the shorter (vertical) side of a 4:3 frame; the camera sits at
// z = -6 looking down +z, as `Translate 0 0 6` puts it in the .rib.
#declare HalfTan = tan(radians(20));
camera {
  perspective
  location <0, 0, -6>
  direction <0, 0, 1>
  up <0, 2 * HalfTan, 0>
  right <2 * HalfTan * 4 / 3, 0, 0>
}

// pointlight intensity 12 falls off as 1/d^2: POV's fade is 2 / (1 + (d / f)^2), which is
// 2 f^2 / d^2 for d >> f; f = 0.1 and colour 600 give 12 / d^2.
light_source { <-3, 3, -3> color rgb 600 fade_distance 0.1 fade_power 2 }
// distantlight intensity 0.6 from (2, 4, -3) towards the origin.
light_source { <2, 4, -3> * 1000 color rgb 0.6 parallel point_at <0, 0, 0> }

// matte: Ka 1 (ambientlight 0.1), Kd 1. plastic: Ka 1, Kd 0.5, Ks 0.5; OVO's specular
// exponent is 8 / roughness, POV-Ray's 1 / roughness, so its roughness is OVO's over 8.
#declare Matte = finish { ambient 0.1 diffuse 1 specular 0 }
#declare Plastic = finish { ambient 0.1 diffuse 0.5 specular 0.5 roughness 0.1 / 8 }
#declare Plastic05 = finish { ambient 0.1 diffuse 0.5 specular 0.5 roughness 0.05 / 8 }

sphere { <-1.3, 0, 0>, 0.6 pigment { rgb <0.8, 0.2, 0.2> } finish { Matte } }
sphere { <0, 0, 0>, 0.6 pigment { rgb <0.2, 0.8, 0.2> } finish { Plastic } }
sphere { <1.3, 0, 0>, 0.6 pigment { rgb <0.2, 0.2, 0.8> } finish { Plastic05 } }
polygon {
  5, <-6, -0.6, -6>, <6, -0.6, -6>, <6, -0.6, 6>, <-6, -0.6, 6>, <-6, -0.6, -6>
  pigment { rgb 0.7 } finish { Matte }
}
