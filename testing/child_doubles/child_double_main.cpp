// A child program for the tests of child processes: prints what it is told, hangs, or exits.
//   child_double print <count> <text> <exit code>   writes <text> repeatedly until <count> bytes
//   child_double hang                               never ends by itself
//   child_double hang-while <path>                  runs while <path> exists
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "hang") == 0) {
        while (true) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (argc == 3 && std::strcmp(argv[1], "hang-while") == 0) {
        while (std::filesystem::exists(argv[2]))
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "print") == 0) {
        const std::size_t count = std::strtoul(argv[2], nullptr, 10);
        const std::string text = argv[3];
        std::string out;
        while (out.size() < count) out += text;
        out.resize(count);
        // Small pieces, as children of the real tool write.
        for (std::size_t at = 0; at < out.size(); at += 512) {
            const std::size_t n = out.size() - at < 512 ? out.size() - at : 512;
            std::fwrite(out.data() + at, 1, n, stdout);
            std::fflush(stdout);
        }
        return std::atoi(argv[4]);
    }
    return 99;
}
