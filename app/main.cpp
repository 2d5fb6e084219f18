// Program entry: the data module first, then the main window, then the
// About box and the help window; the message loop runs until the main
// window closes, or until SIGTERM or SIGINT closes it the same way.
// `AtlasdeskView [FOLDER]` starts connected to FOLDER;
// without it, the server of the last run is opened again.
#include "app/ProgramStart.h"

int main(int argc, char* argv[])
{
    return runProgram(argc, argv);
}
