#include "app/program/Startup.h"

int main(int argc, char* argv[]) {
    return runVesmar(argc, argv);
}
