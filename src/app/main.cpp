// The desktop application: everything it does lives in the shell library.
#include "shell/application.h"

int main(int argc, char** argv) { return sondrel::RunApplication(argc, argv); }
