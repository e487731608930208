#include "app/commandline.h"

int main(int argc, char** argv)
{
    return runIsolumen(argc, argv);
}
