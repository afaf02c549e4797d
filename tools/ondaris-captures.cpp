// ondaris-captures [folder [geometry.xml]]: screenshots of the window over
// the simulated box, on Qt's offscreen platform: after Init, the selection
// page, a run in progress with live level colours, and the analysis
// window's pages (the health check of a faulty array, the calibrator
// assistant, the acoustic map and a spectrum over a scene of point sources
// and over its recording replayed). Written as PNG files into `folder`
// (docs by default); the geometry is the simulator's of the source tree.
#include "app/fenetre/captures/captures.h"

int main(int argc, char** argv) { return execute_captures(argc, argv); }
