#include "app/dxmain.h"

int main(int argc, char** argv) {
    return runEntry(argc, argv);
}
