#include "app/main/program.h"

int main(int argc, char** argv) { return brevane::RunProgram(argc, argv); }
