// background: puts a colour behind the picture.
//
// An imager shader: it runs on every finished pixel and fills what the scene leaves uncovered,
// so the picture comes out opaque.
//
// Parameters:
//   type   name        default  meaning
//   color  background  1 1 1    colour behind what the scene covers
//
// Example:
//   Imager "background" "color background" [0.2 0.3 0.5]
imager background(color background = 1) {
    Ci += (1 - alpha) * background;
    Oi = 1;
    alpha = 1;
}
