// null: shades nothing.
//
// The surface keeps what a hit starts with, black and opaque: passes that only need depth or
// visibility, such as shadow-map frames, name it to skip shading.
//
// Parameters: none
//
// Example:
//   Surface "null"
surface null() {}
