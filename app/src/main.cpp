#include "Startup.h"

int main(int argc, char *argv[])
{
    return runNimbrelLab(argc, argv);
}
