// Vellumark, the desktop search engine for the web sites one person cares about.
#include "app/program.h"

int main(int argc, char** argv) { return vellumark::RunProgram(argc, argv); }
