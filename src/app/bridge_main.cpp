#include "bridge/service/bridgeprogram.h"

int main(int argc, char *argv[])
{
    return koru::bridge::runBridge(argc, argv);
}
