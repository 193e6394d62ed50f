#include "tests/app/guitestmain.h"

int main(int argc, char** argv) { return brevane::testing::RunWidgetTests(argc, argv); }
