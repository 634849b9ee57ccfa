#include "app/panelapp.h"

int main(int argc, char *argv[])
{
    return koru::runPanelApp(argc, argv);
}
