// publish-list: writes latest.json for an installer, or checks one, by the client's rules.

#include <iostream>
#include <string>
#include <vector>

#include "publisher.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return quarnet::publisher::run(args, std::cout, std::cerr);
}
