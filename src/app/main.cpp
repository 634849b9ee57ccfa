#include "app/panelprogram.h"

int main(int argc, char *argv[])
{
    return koru::runPanel(argc, argv);
}
