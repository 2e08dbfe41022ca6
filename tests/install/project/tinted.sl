// tinted: the surface colour times a tint, unlit.
//
// Parameters:
//   type   name  default  meaning
//   color  tint  1        multiplies Cs
//
// Example:
//   Surface "tinted" "color tint" [0.9 0.3 0.1]
surface tinted(color tint = 1) {
    Oi = Os;
    Ci = Os * Cs * tint;
}
