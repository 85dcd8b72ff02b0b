#include "edit/EditTool.h"

int main(int argc, char** argv) {
    return velmora::host::runEditTool(std::vector<std::string>(argv + 1, argv + argc));
}
