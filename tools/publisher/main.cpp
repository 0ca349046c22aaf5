// publish-list: writes latest.json for an installer, or checks one, by the client's rules.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "publisher.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return quarnet::publisher::run(args, std::cout, std::cerr);
    } catch (const std::exception& failure) {  // a clear word and an exit code, never an abort
        std::cerr << "publish-list: " << failure.what() << "\n";
        return quarnet::publisher::EXIT_USAGE;
    }
}
