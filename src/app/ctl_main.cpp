#include "ctl/ctlprogram.h"

int main(int argc, char *argv[])
{
    return koru::ctl::runCtl(argc, argv);
}
