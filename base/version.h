// The program's version, one for every program: the project's version, with
// the checkout it was built from ("1.0.0+4b29572") when there was one.
#pragma once

const char* version_ondaris();
