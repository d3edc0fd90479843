#include "launcher/startup_sequence.h"

int main(int argc, char** argv) { return runStartupSequence(argc, argv); }
