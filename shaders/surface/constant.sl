// constant: the surface colour as it is, unlit.
//
// The colour is Os * Cs and the opacity Os.
//
// Parameters: none
//
// Example:
//   Surface "constant"
surface constant() {
    Oi = Os;
    Ci = Os * Cs;
}
