// ondaris-images: draws the window's icon and its two logos into PNG files
// (run once by hand; the images are committed): ondaris-images <folder>.
#include "app/fenetre/dessin/images.h"

int main(int argc, char** argv) { return dessine_images(argc, argv); }
