#include "app/commandline.h"

int main(int argc, char** argv)
{
    return isolumen::runIsolumen(argc, argv);
}
