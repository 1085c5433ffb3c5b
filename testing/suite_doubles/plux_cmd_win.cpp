// The desktop suite's command-line tool as a double for Windows: /export writes the bytes of
// "settings.bin" beside it (and hangs when "export-hangs" is there too), /import keeps the bytes it
// read as "imported.bin" and appends a line to "records.txt".
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::wstring OwnDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.rfind(L'\\') + 1);
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Record(const std::wstring& directory, const std::string& line) {
    std::ofstream(std::filesystem::path(directory + L"records.txt"),
                  std::ios::binary | std::ios::app)
        << line << "\n";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const std::wstring directory = OwnDirectory();
    const std::wstring verb = argv[1];
    const std::wstring file = argv[2];
    if (verb == L"/export") {
        std::ofstream(std::filesystem::path(file), std::ios::binary | std::ios::trunc)
            << ReadAll(directory + L"settings.bin");
        Record(directory, "export");
        if (GetFileAttributesW((directory + L"export-hangs").c_str()) != INVALID_FILE_ATTRIBUTES)
            Sleep(INFINITE);
        return 0;
    }
    if (verb == L"/import") {
        if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return 1;
        const std::string bytes = ReadAll(file);
        std::ofstream(std::filesystem::path(directory + L"imported.bin"),
                      std::ios::binary | std::ios::trunc)
            << bytes;
        Record(directory, "import " + std::to_string(bytes.size()));
        return 0;
    }
    return 2;
}
