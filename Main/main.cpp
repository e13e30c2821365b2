// The program Tavimeet: brings up the framework, writes the application identity and the start-up
// defaults, announces itself to the whiteboard program and runs the application object's event loop.
#include "app/tavimeetmain.h"

int main(int argc, char** argv) { return runTavimeet(argc, argv); }
