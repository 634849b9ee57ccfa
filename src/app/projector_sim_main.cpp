#include "sim/simprogram.h"

int main(int argc, char *argv[])
{
    return koru::sim::runSim(argc, argv);
}
