#include "render/Tool.h"

int main(int argc, char** argv) {
    return velmora::host::runTool(std::vector<std::string>(argv + 1, argv + argc));
}
