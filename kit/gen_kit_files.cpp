// gen_kit_files <output dir>: writes the kit's kelvane_tx.ami, kelvane_rx.ami and kelvane.ibs into the
// output folder (created when missing). gen_kit_files --parameter-guide: prints the parameter tables of the
// release kit's README. Exit status 0 on success, 1 when a file cannot be written, 2 on wrong usage.

#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "kit/KitFiles.h"
#include "kit/ParameterGuide.h"

namespace {

int Usage() {
    std::cerr << "usage: gen_kit_files <output dir> | --parameter-guide\n";
    return 2;
}

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') return Usage();
    if (std::string(argv[1]) == "--parameter-guide") {
        std::cout << kit::RenderParameterGuide();
        return std::cout.flush() ? 0 : 1;
    }
    if (argv[1][0] == '-') return Usage();
    const std::filesystem::path folder = argv[1];
    try {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            std::cerr << "gen_kit_files: cannot create " << folder.string() << ": " << error.message() << "\n";
            return 1;
        }
        for (const kit::KitFile& file : kit::KitFiles()) {
            const std::filesystem::path path = folder / file.name;
            if (!WriteFile(path, file.text)) {
                std::cerr << "gen_kit_files: cannot write " << path.string() << "\n";
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "gen_kit_files: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
