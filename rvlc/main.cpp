#include "rvlc/rvlc.h"

#include <cstdio>

int main(int argc, char** argv) {
    // Standard output carries the result only; make sure it is all out before the process ends.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    const int code = rvlc::Run(std::vector<std::string>(argv + 1, argv + argc));
    std::fflush(stdout);
    return code;
}
