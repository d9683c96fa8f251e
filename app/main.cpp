#include "app/demo.h"
#include "app/dxmain.h"

int main(int argc, char** argv) {
    return app::runEntry(argc, argv, runDemo);
}
