// Writes the K740 demo image to a file, or the writer's sample images into a corpus directory.
#include <cstdio>
#include <cstring>
#include <string>

#include "testing/xsvf_writer/make_demo_xsvf.h"
#include "testing/xsvf_writer/xsvf_writer_samples.h"

namespace {

bool writeFile(const std::string& path, const XsvfBytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--corpus") == 0) {
        for (const auto& sample : XsvfWriterSamples()) {
            if (!writeFile(std::string(argv[2]) + "/" + sample.name + ".xsvf", sample.bytes))
                return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_xsvf <output.xsvf> | --corpus <directory>\n");
        return 2;
    }
    return writeFile(argv[1], MakeK740DemoXsvf()) ? 0 : 1;
}
