// Writes the K740 demo image to the file named on the command line.
#include <cstdio>

#include "tools/make_demo_xsvf.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_xsvf <output.xsvf>\n");
        return 2;
    }
    XsvfBytes image = MakeK740DemoXsvf();
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    written = std::fclose(file) == 0 && written;
    return written ? 0 : 1;
}
