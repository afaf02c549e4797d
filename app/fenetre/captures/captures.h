// Screenshots of the window over the simulated box, on Qt's offscreen
// platform, for the documentation: after Init, the selection page, a run in
// progress with live level colours, and the analysis window's pages (the
// health check of a faulty array, the calibrator assistant, the acoustic map
// and a spectrum over a scene of point sources and over its recording
// replayed).
#pragma once

// argv[1]: the folder of the PNG files (docs by default); argv[2]: the
// array's geometry (the simulator's of the source tree by default). The
// exit code.
int execute_captures(int argc, char** argv);
