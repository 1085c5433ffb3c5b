// dec740: the updater's device-console tool. Usage: dec740 <command> <hardware ID>.
#include <cstdio>
#include <string>
#include <vector>

#include "components/dec740/dec740_commands.h"
#include "components/dec740/process_setup.h"

namespace {

class StdioOutput : public dec740::Output {
public:
    void Out(const std::string& text) override { Write(stdout, text); }
    void Err(const std::string& text) override { Write(stderr, text); }

private:
    // Both streams usually share one pipe: flushing each piece keeps their order.
    static void Write(std::FILE* stream, const std::string& text) {
        // A stream that takes no output leaves nothing to tell: the write's count is not wanted.
        (void)std::fwrite(text.data(), 1, text.size(), stream);
        std::fflush(stream);
    }
};

}  // namespace

int main(int argc, char** argv) {
    dec740::RestrictLibrarySearch();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    StdioOutput output;
    auto manager = dec740::OpenDeviceManager();
    return dec740::RunCommand(arguments, *manager, output);
}
